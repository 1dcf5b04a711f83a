// Display names and header fields: what makes an entry's name valid on disk,
// the #XXXX escapes that stand for characters a name cannot show, and how
// strings are written into the fixed character fields of records.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace wcx {

// Which characters of a name must be escaped, beyond those no file name may
// hold, for a host to use the name as a file name: every character of a
// name made only of dots ("." and ".." climb out of the destination), and
// where Windows rules apply the last character when it is a dot or a space
// (Windows drops it) and the first one of a device name (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, alone or before an extension, in any case).
struct ReservedParts {
  bool all = false;
  bool first = false;
  bool last = false;
  bool Any() const { return all || first || last; }
  bool At(size_t i, size_t size) const {
    return all || (first && i == 0) || (last && i + 1 == size);
  }
};

template <class Char>
ReservedParts FindReservedParts(std::basic_string_view<Char> name) {
  ReservedParts parts;
  parts.all = !name.empty() && name.find_first_not_of(Char('.')) == name.npos;
  if (!platform::kWindowsFileNames || name.empty() || parts.all) return parts;
  parts.last = name.back() == Char('.') || name.back() == Char(' ');
  std::basic_string_view<Char> base = name.substr(0, name.find(Char('.')));
  while (!base.empty() && base.back() == Char(' ')) base.remove_suffix(1);
  auto upper = [&](size_t i) {
    const Char c = base[i];
    return c >= Char('a') && c <= Char('z') ? static_cast<char>(c - 'a' + 'A')
                                            : static_cast<char>(c < 0x80 ? c : 0);
  };
  auto is = [&](const char* word) {
    for (size_t i = 0; i < 3; ++i)
      if (upper(i) != word[i]) return false;
    return true;
  };
  if (base.size() == 3)
    parts.first = is("CON") || is("PRN") || is("AUX") || is("NUL");
  else if (base.size() == 4)
    parts.first = (is("COM") || is("LPT")) && base[3] >= Char('1') && base[3] <= Char('9');
  return parts;
}

// The characters that a shown name holds only as escapes, as control
// characters are: those no file name may hold, '%' (SanitizeName's escape)
// and '#' (the escape itself).
inline constexpr std::string_view kEscapeSet = "\"*<>?|/\\:%#";

// Appends the escape of one UTF-16 unit: '#' and four upper-case hex digits.
void AppendEscape(std::string& out, char16_t unit);

// Replaces bytes below 0x20 and the characters " * < > ? | / \ : % by
// "%XX" (two upper-case hex digits), and the reserved parts above likewise.
// Bytes 0x80..0xFF are kept. An empty name becomes "%": no file name is
// empty.
std::string SanitizeName(std::string_view name);

// Copies at most fieldSize - 1 bytes of value and one zero byte into field;
// the bytes behind that zero are left as they were.
void CopyToField(std::string_view value, char* field, size_t fieldSize);

}  // namespace wcx
