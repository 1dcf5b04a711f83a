// Helpers for the tests of the COM-shaped storage API.
#pragma once

#include <string>

#include "platform/com_ptr.h"
#include "platform/ole.h"
#include "platform/os.h"
#include "temp_dir.h"

namespace ole_test {

using platform::ComPtr;

// A scratch directory whose file names also come as UTF-16.
class TempDir : public testing_support::TempDir {
 public:
  std::string Path(const std::string& name) const { return File(name); }
  std::u16string Wide(const std::string& name) const {
    return platform::AnsiToWide(File(name), platform::CodePage::kAnsi);
  }
};

inline constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
inline constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
inline constexpr DWORD kReadDenyWrite = STGM_READ | STGM_SHARE_DENY_WRITE;
inline constexpr DWORD kChildRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
inline constexpr DWORD kChildWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

}  // namespace ole_test
