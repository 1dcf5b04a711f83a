// The case-insensitive key of file names, over the system's lower-case
// mapping of single characters (codepage_posix.cpp, codepage_win.cpp).
#include "platform/unicode.h"

namespace platform {

std::string LowerCaseFileName(std::string_view name) {
  // Every name the tree indexes passes through here, most of them ASCII:
  // those are lower-cased in the pass that checks them.
  std::string out(name.size(), '\0');
  unsigned char seen = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    seen |= c;
    out[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  }
  if (seen < 0x80) return out;
  out.clear();
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    const char c = name[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      ++i;
      continue;
    }
    const size_t start = i;
    const char32_t code = NextCodePoint(name, i);
    // A byte that did not decode stays the byte it was.
    if (IsSurrogate(code))
      out.append(name, start, i - start);
    else
      AppendUtf8(out, LowerCaseCodePoint(code));
  }
  return out;
}

}  // namespace platform
