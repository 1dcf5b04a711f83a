// Helpers for the tests of the COM-shaped storage API.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/com_ptr.h"
#include "platform/ole.h"
#include "platform/os.h"

namespace ole_test {

using platform::ComPtr;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "oletest-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::u16string Wide(const std::string& name) const {
    return platform::AnsiToWide(Path(name), platform::CodePage::kAnsi);
  }

 private:
  std::filesystem::path path_;
};

inline constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
inline constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
inline constexpr DWORD kReadDenyWrite = STGM_READ | STGM_SHARE_DENY_WRITE;
inline constexpr DWORD kChildRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
inline constexpr DWORD kChildWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

}  // namespace ole_test
