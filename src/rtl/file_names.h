// File-name comparison as the user's locale does it: case-insensitive, by
// lower-casing both names.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace rtl {

inline std::string AnsiLowerCaseFileName(std::string_view name) {
  return platform::LowerCaseFileName(name);
}

inline bool SameFileName(std::string_view a, std::string_view b) {
  return a == b || AnsiLowerCaseFileName(a) == AnsiLowerCaseFileName(b);
}

}  // namespace rtl
