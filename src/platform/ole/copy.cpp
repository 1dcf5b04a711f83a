#include "platform/ole/copy.h"

#include <cstring>
#include <vector>

#include "platform/com_ptr.h"

namespace platform::ole {

namespace {

constexpr DWORD kChildWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

bool Excluded(const CopyExclusions& ex, const std::u16string& name) {
  if (!ex.names) return false;
  for (SNB n = ex.names; *n; ++n)
    if (name == *n) return true;
  return false;
}

HRESULT CopyStream(cfb::CompoundFile& file, uint32_t id, IStream& dest) {
  std::vector<uint8_t> buffer(1 << 20);
  for (uint64_t pos = 0;;) {
    const uint64_t got = file.Read(id, pos, buffer.data(), buffer.size());
    if (got == 0) return S_OK;
    ULONG put = 0;
    const HRESULT hr = dest.Write(buffer.data(), static_cast<ULONG>(got), &put);
    if (FAILED(hr)) return hr;
    pos += got;
  }
}

}  // namespace

HRESULT CopyElement(cfb::CompoundFile& file, uint32_t id, IStorage& dest, const OLECHAR* new_name) {
  const cfb::EntryView e = file.Entry(id);
  if (e.is_stream()) {
    platform::ComPtr<IStream> stream;
    HRESULT hr = dest.CreateStream(new_name, STGM_CREATE | kChildWrite, 0, 0, stream.Receive());
    if (FAILED(hr)) return hr;
    return CopyStream(file, id, *stream.Get());
  }
  platform::ComPtr<IStorage> storage;
  HRESULT hr = dest.CreateStorage(new_name, kChildWrite, 0, 0, storage.Receive());
  if (hr == STG_E_FILEALREADYEXISTS)
    hr = dest.OpenStorage(new_name, nullptr, kChildWrite, nullptr, 0, storage.Receive());
  if (FAILED(hr)) return hr;
  CLSID clsid;
  static_assert(sizeof clsid == 16);
  std::memcpy(&clsid, file.Entry(id).attributes().clsid.data(), sizeof clsid);
  hr = storage->SetClass(clsid);
  if (FAILED(hr)) return hr;
  return CopyChildren(file, id, *storage.Get(), {});
}

HRESULT CopyChildren(cfb::CompoundFile& file, uint32_t storage, IStorage& dest,
                     const CopyExclusions& exclusions) {
  for (uint32_t child : file.Children(storage)) {
    const cfb::EntryView e = file.Entry(child);
    const std::u16string name(e.name());
    if ((e.is_stream() && exclusions.streams) || (e.is_storage() && exclusions.storages) ||
        Excluded(exclusions, name))
      continue;
    const HRESULT hr = CopyElement(file, child, dest, name.c_str());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace platform::ole
