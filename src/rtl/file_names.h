// File-name comparison: case-insensitive, by lower-casing both UTF-8 names
// with Unicode's simple mapping.
#pragma once

#include <string>
#include <string_view>

#include "platform/unicode.h"

namespace rtl {

inline std::string LowerCaseFileName(std::string_view name) {
  return platform::LowerCaseFileName(name);
}

inline bool SameFileName(std::string_view a, std::string_view b) {
  return a == b || LowerCaseFileName(a) == LowerCaseFileName(b);
}

}  // namespace rtl
