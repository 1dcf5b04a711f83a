#include "platform/ole/statstg.h"

#include <sys/stat.h>

#include <cstring>
#include <new>

namespace platform::ole {

namespace {

FILETIME ToFileTime(uint64_t value) {
  return UInt64ToFileTime(value);
}

FILETIME ToFileTime(const timespec& ts) {
  constexpr uint64_t kEpochDelta = 116444736000000000ull;
  return UInt64ToFileTime(kEpochDelta + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
                          static_cast<uint64_t>(ts.tv_nsec) / 100);
}

void FillCommon(cfb::EntryView e, DWORD grf_mode, STATSTG& out) {
  std::memset(&out, 0, sizeof out);
  out.type = e.is_stream() ? STGTY_STREAM : STGTY_STORAGE;
  out.grfMode = grf_mode;
  const cfb::Attributes& attributes = e.attributes();
  std::memcpy(&out.clsid, attributes.clsid.data(), sizeof out.clsid);
  out.grfStateBits = attributes.state_bits;
}

}  // namespace

LPOLESTR TaskMemName(std::u16string_view name) {
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, name.data(), name.size() * sizeof(OLECHAR));
  copy[name.size()] = 0;
  return copy;
}

void FillElementStat(const cfb::CompoundFile& file, uint32_t id, DWORD grf_mode, DWORD stat_flag,
                     STATSTG& out) {
  const cfb::EntryView e = file.Entry(id);
  FillCommon(e, grf_mode, out);
  out.cbSize.QuadPart = e.is_stream() ? e.size() : 0;
  const cfb::Attributes& attributes = e.attributes();
  out.mtime = ToFileTime(attributes.mtime);
  out.ctime = ToFileTime(attributes.ctime);
  if (stat_flag == STATFLAG_DEFAULT) out.pwcsName = TaskMemName(e.name());
}

void FillRootStat(const cfb::CompoundFile& file, std::u16string_view name, DWORD grf_mode,
                  DWORD stat_flag, STATSTG& out) {
  FillCommon(file.Entry(cfb::kRootId), grf_mode, out);
  struct stat st;
  if (::stat(file.path().c_str(), &st) == 0) {
    out.mtime = ToFileTime(st.st_mtim);
    out.atime = ToFileTime(st.st_atim);
    out.ctime = ToFileTime(st.st_ctim);
  }
  if (stat_flag == STATFLAG_DEFAULT) out.pwcsName = TaskMemName(name);
}

}  // namespace platform::ole
