// printf-style formatting into a std::string.
#pragma once

#include <string>

namespace rtl {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...);

}  // namespace rtl
