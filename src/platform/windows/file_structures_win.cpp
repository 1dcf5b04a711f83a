#include "platform/windows/file_structures_win.h"

#include <algorithm>

#include "cfb/error.h"
#include "platform/ole/result.h"

namespace platform {
namespace {

class HandleSource : public cfb::ByteSource {
 public:
  explicit HandleSource(HANDLE file) : file_(file) {}

  uint64_t Size() const override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size)) cfb::Fail(cfb::Errc::kReadFault, "no file size");
    return static_cast<uint64_t>(size.QuadPart);
  }

  uint64_t ReadAt(uint64_t offset, void* buffer, uint64_t count) const override {
    constexpr uint64_t kMaxRead = 1 << 24;
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < count) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      const DWORD want = static_cast<DWORD>(std::min(count - done, kMaxRead));
      DWORD read = 0;
      if (!ReadFile(file_, out + done, want, &read, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        cfb::Fail(cfb::Errc::kReadFault, "read failed");
      }
      if (read == 0) break;
      done += read;
    }
    return done;
  }

 private:
  HANDLE file_;
};

}  // namespace

HRESULT ReadFileStructures(HANDLE file, cfb::CheckedFile& checked) {
  return ole::Guarded([&] {
    try {
      checked.Read(HandleSource(file));
    } catch (const cfb::Error& e) {
      if (e.code() != cfb::Errc::kNotCompoundFile) throw;
      return S_FALSE;
    }
    return S_OK;
  });
}

}  // namespace platform
