// The ini file a host names for its plug-ins' settings, read with the
// system's profile functions, which Total Commander's own settings follow.
#include <windows.h>

#include <string>

#include "platform/os.h"
#include "platform/unicode.h"

namespace platform {
namespace {

std::wstring Wide(const std::string& text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

}  // namespace

std::optional<std::string> ReadIniValue(const std::string& iniFile, const std::string& section,
                                        const std::string& key) {
  if (iniFile.empty()) return std::nullopt;
  wchar_t value[256] = {};
  const DWORD length = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), L"",
                                                value, sizeof value / sizeof *value,
                                                Wide(iniFile).c_str());
  if (length == 0) return std::nullopt;
  return Utf16ToUtf8(std::u16string(value, value + length));
}

}  // namespace platform
