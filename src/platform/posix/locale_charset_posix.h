// The host's 8-bit character set on POSIX: the charset named by the locale
// variables, read afresh on every call (a library must not call setlocale).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The charset part of LC_ALL, else LC_CTYPE, else LANG (the first one set
// and non-empty): "en_US.CP1252" gives "CP1252", "sr_RS.UTF-8@latin" gives
// "UTF-8". Empty for UTF-8: when the variable names no charset, or is "C"
// or "POSIX", or none is set, or its charset is a spelling of UTF-8.
std::string LocaleCharset();

// "UTF-8", "utf8", "Utf_8" and the like.
bool IsUtf8CharsetName(std::string_view name);

}  // namespace platform
