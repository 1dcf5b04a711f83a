#include "platform/locale_charset_posix.h"

#include <cstdlib>

namespace platform {
namespace {

std::string_view LocaleVariable() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsUtf8CharsetName(std::string_view name) {
  std::string folded;
  for (char c : name)
    if (c != '-' && c != '_') folded += AsciiLower(c);
  return folded == "utf8";
}

std::string LocaleCharset() {
  std::string_view locale = LocaleVariable();
  const size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return {};
  std::string_view charset = locale.substr(dot + 1);
  charset = charset.substr(0, charset.find('@'));
  if (IsUtf8CharsetName(charset)) return {};
  return std::string(charset);
}

}  // namespace platform
