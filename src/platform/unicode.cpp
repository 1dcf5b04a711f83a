#include "platform/unicode.h"

#include <algorithm>
#include <type_traits>

namespace platform {

char32_t DecodeUtf8(std::string_view text, size_t& i, EncodedSurrogates surrogates) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = lead < 0x80            ? 1
                        : (lead >> 5) == 0x06 ? 2
                        : (lead >> 4) == 0x0E ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
  if (length == 0 || length > text.size() - i) return kNotDecoded;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto trail = static_cast<unsigned char>(text[i + k]);
    if ((trail >> 6) != 2) return kNotDecoded;
    c = (c << 6) | (trail & 0x3F);
  }
  // Overlong forms are never well-formed.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF) return kNotDecoded;
  if (IsSurrogate(c) && surrogates == EncodedSurrogates::kRefused) return kNotDecoded;
  i += length;
  return c;
}

char32_t NextCodePoint(std::string_view text, size_t& i) {
  const char32_t c = DecodeUtf8(text, i, EncodedSurrogates::kAccepted);
  if (c != kNotDecoded) return c;
  return kUndecodableByteBase + static_cast<unsigned char>(text[i++]);
}

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

namespace {

// Most names are ASCII, and every header of a listing passes through the
// converters: they first copy the text unit by unit, in one pass that the
// compiler vectorizes, and convert properly only when that finds a
// non-ASCII unit.
template <class To, class From>
bool CopiedAsAscii(std::basic_string_view<From> text, std::basic_string<To>& out) {
  out.resize(text.size());
  To* to = out.data();
  std::make_unsigned_t<From> seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    seen |= static_cast<std::make_unsigned_t<From>>(text[i]);
    to[i] = static_cast<To>(text[i]);
  }
  if (seen < 0x80) return true;
  out.clear();
  return false;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  Utf16ToUtf8(text, out);
  return out;
}

void Utf16ToUtf8(std::u16string_view text, std::string& out) {
  if (CopiedAsAscii(text, out)) return;
  out.reserve(text.size() + text.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    AppendUtf8(out, c);
  }
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  if (CopiedAsAscii(text, out)) return out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80)
      out.push_back(static_cast<char16_t>(text[i++]));
    else
      AppendUtf16(out, NextCodePoint(text, i));
  }
  return out;
}

size_t Utf8ToUtf16(std::string_view text, char16_t* out, size_t capacity) {
  const size_t fits = std::min(text.size(), capacity);
  unsigned char seen = 0;
  for (size_t k = 0; k < fits; ++k) {
    seen |= static_cast<unsigned char>(text[k]);
    out[k] = static_cast<char16_t>(text[k]);
  }
  if (seen < 0x80) return fits;
  size_t n = 0;
  size_t i = 0;
  while (i < text.size() && n < capacity) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      out[n++] = static_cast<char16_t>(text[i++]);
      continue;
    }
    size_t next = i;
    const char32_t c = NextCodePoint(text, next);
    if (c >= 0x10000) {
      if (capacity - n < 2) break;
      out[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(c);
    }
    i = next;
  }
  // Cut short, the text does not end in half a pair either.
  if (i < text.size() && n > 0 && IsHighSurrogate(out[n - 1])) --n;
  return n;
}

}  // namespace platform
