// Code-page conversion on POSIX. This first version knows UTF-8 only.
#include <cwctype>
#include <locale.h>

#include "platform/os.h"

namespace platform {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at text[i]; 0xFFFFFFFF when it is not valid.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  auto b = static_cast<unsigned char>(text[i]);
  int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > text.size()) return 0xFFFFFFFF;
  char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len; ++k) {
    auto t = static_cast<unsigned char>(text[i + k]);
    if ((t >> 6) != 2) return 0xFFFFFFFF;
    c = (c << 6) | (t & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFFFFFF;
  i += len;
  return c;
}

}  // namespace

std::u16string AnsiToWide(std::string_view text, CodePage) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t c = DecodeUtf8(text, i);
    if (c == 0xFFFFFFFF) {
      out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      AppendUtf16(out, c);
    }
  }
  return out;
}

std::string WideToAnsi(std::u16string_view text, CodePage) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      out += static_cast<char>(c - 0xDC00);
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out += '?';
      continue;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::optional<std::string> WideCharToAnsiExact(std::u16string_view character, CodePage cp) {
  if (character.empty()) return std::string();
  char16_t first = character[0];
  if (first >= 0xD800 && first <= 0xDFFF && character.size() != 2) return std::nullopt;
  return WideToAnsi(character, cp);
}

bool IsSingleByteCodePage(CodePage) { return false; }

std::string LowerCaseFileName(std::string_view name) {
  bool ascii = true;
  for (char ch : name) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
  std::string out(name);
  if (ascii) {
    for (char& ch : out)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return out;
  }
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::u16string wide = AnsiToWide(name, CodePage::kAnsi);
  for (char16_t& u : wide)
    if (utf8 && (u < 0xD800 || u > 0xDFFF))
      u = static_cast<char16_t>(towlower_l(static_cast<wint_t>(u), utf8));
  return WideToAnsi(wide, CodePage::kAnsi);
}

}  // namespace platform
