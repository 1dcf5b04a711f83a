#include "platform/posix/locale_charset_posix.h"

#include <array>

extern char** environ;

namespace platform {
namespace {

// One pass over the environment rather than a getenv per variable: every
// element name of a listing is converted on its own, so this runs once per
// name. Like getenv, the first definition of a variable counts.
std::string_view LocaleVariable() {
  static constexpr std::array<std::string_view, 3> kNames = {"LC_ALL=", "LC_CTYPE=", "LANG="};
  std::array<const char*, kNames.size()> values{};
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if ((*entry)[0] != 'L') continue;
    const std::string_view text(*entry);
    for (size_t i = 0; i < kNames.size(); ++i)
      if (values[i] == nullptr && text.starts_with(kNames[i]))
        values[i] = *entry + kNames[i].size();
  }
  for (const char* value : values)
    if (value != nullptr && *value != '\0') return value;
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
