#include "platform/windows/compaction/storage_tree_copy_win.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/windows/compaction/storage_elements_win.h"

namespace platform::compaction {
namespace {

constexpr DWORD kCreateChild = STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_FAILIFTHERE;
constexpr ULONG kChunkBytes = 1 << 20;

struct CopyState {
  std::vector<char> buffer = std::vector<char>(kChunkBytes);
};

// A name the copy already has in another case, or one the system will not
// take, is an element the copy cannot hold; anything else is a failure.
HRESULT CreationResult(HRESULT hr) {
  return hr == STG_E_FILEALREADYEXISTS || hr == STG_E_INVALIDNAME ? S_FALSE : hr;
}

HRESULT CopyStream(IStorage* from, IStorage* to, const Element& element, CopyState& state) {
  ComPtr<IStream> source;
  HRESULT hr = from->OpenStream(element.name.c_str(), nullptr, kReadChild, 0, source.Receive());
  if (FAILED(hr)) return hr;
  ComPtr<IStream> copy;
  hr = to->CreateStream(element.name.c_str(), kCreateChild, 0, 0, copy.Receive());
  if (FAILED(hr)) return CreationResult(hr);
  for (uint64_t left = element.size; left > 0;) {
    const ULONG chunk = static_cast<ULONG>(std::min<uint64_t>(left, state.buffer.size()));
    ULONG read = 0;
    hr = source->Read(state.buffer.data(), chunk, &read);
    if (FAILED(hr)) return hr;
    if (read != chunk) return STG_E_READFAULT;
    ULONG written = 0;
    hr = copy->Write(state.buffer.data(), chunk, &written);
    if (FAILED(hr)) return hr;
    if (written != chunk) return STG_E_WRITEFAULT;
    left -= chunk;
  }
  return S_OK;
}

HRESULT CopyMarks(IStorage* to, const Element& element) {
  HRESULT hr = to->SetClass(element.clsid);
  if (SUCCEEDED(hr)) hr = to->SetStateBits(element.stateBits, ~DWORD{0});
  return hr;
}

HRESULT CopyChildren(IStorage* from, IStorage* to, int depth, CopyState& state);

// Times go last, once nothing below the storage changes any more, and
// through the parent, once the storage is closed.
HRESULT CopyStorage(IStorage* from, IStorage* to, const Element& element, int depth,
                    CopyState& state) {
  {
    ComPtr<IStorage> source;
    HRESULT hr =
        from->OpenStorage(element.name.c_str(), nullptr, kReadChild, nullptr, 0, source.Receive());
    if (FAILED(hr)) return hr;
    ComPtr<IStorage> copy;
    hr = to->CreateStorage(element.name.c_str(), kCreateChild, 0, 0, copy.Receive());
    if (FAILED(hr)) return CreationResult(hr);
    hr = CopyChildren(source.Get(), copy.Get(), depth + 1, state);
    if (hr != S_OK) return hr;
    hr = CopyMarks(copy.Get(), element);
    if (FAILED(hr)) return hr;
  }
  return to->SetElementTimes(element.name.c_str(), &element.ctime, nullptr, &element.mtime);
}

HRESULT CopyChildren(IStorage* from, IStorage* to, int depth, CopyState& state) {
  if (depth > kMaxDepth) return S_FALSE;
  std::vector<Element> elements;
  HRESULT hr = ListElements(from, elements);
  if (FAILED(hr)) return hr;
  for (const Element& element : elements) {
    if (element.type == STGTY_STREAM)
      hr = CopyStream(from, to, element, state);
    else if (element.type == STGTY_STORAGE)
      hr = CopyStorage(from, to, element, depth, state);
    else
      hr = S_FALSE;
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SameMarks(const Element& a, const Element& b) {
  return IsEqualCLSID(a.clsid, b.clsid) && a.stateBits == b.stateBits;
}

bool SameElement(const Element& a, const Element& b) {
  if (a.name != b.name || a.type != b.type) return false;
  if (a.type == STGTY_STREAM) return a.size == b.size;
  return SameMarks(a, b) && SameTime(a.ctime, b.ctime) && SameTime(a.mtime, b.mtime);
}

HRESULT CompareChildren(IStorage* original, IStorage* copy, int depth) {
  if (depth > kMaxDepth) return S_FALSE;
  std::vector<Element> originals, copies;
  HRESULT hr = ListElements(original, originals);
  if (SUCCEEDED(hr)) hr = ListElements(copy, copies);
  if (FAILED(hr)) return hr;
  if (originals.size() != copies.size()) return S_FALSE;
  for (size_t i = 0; i < originals.size(); ++i) {
    const Element& element = originals[i];
    if (!SameElement(element, copies[i])) return S_FALSE;
    if (element.type != STGTY_STORAGE) continue;
    ComPtr<IStorage> originalChild, copyChild;
    hr = original->OpenStorage(element.name.c_str(), nullptr, kReadChild, nullptr, 0,
                               originalChild.Receive());
    if (SUCCEEDED(hr))
      hr = copy->OpenStorage(element.name.c_str(), nullptr, kReadChild, nullptr, 0,
                             copyChild.Receive());
    if (FAILED(hr)) return hr;
    hr = CompareChildren(originalChild.Get(), copyChild.Get(), depth + 1);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT CopyStorageTree(IStorage* from, IStorage* to) {
  Element root;
  HRESULT hr = StatStorage(from, root);
  if (FAILED(hr)) return hr;
  CopyState state;
  hr = CopyChildren(from, to, 0, state);
  if (hr != S_OK) return hr;
  hr = to->SetStateBits(root.stateBits, ~DWORD{0});
  if (FAILED(hr)) return hr;
  // Where the system takes no times for the root, they are not compared.
  to->SetElementTimes(nullptr, &root.ctime, nullptr, &root.mtime);
  return S_OK;
}

HRESULT CompareStorageTrees(IStorage* original, IStorage* copy) {
  Element originalRoot, copyRoot;
  HRESULT hr = StatStorage(original, originalRoot);
  if (SUCCEEDED(hr)) hr = StatStorage(copy, copyRoot);
  if (FAILED(hr)) return hr;
  if (originalRoot.stateBits != copyRoot.stateBits) return S_FALSE;
  return CompareChildren(original, copy, 0);
}

}  // namespace platform::compaction
