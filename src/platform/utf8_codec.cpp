#include "platform/utf8_codec.h"

namespace platform {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
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

// Decodes the sequence at text[i] and advances i past it; kInvalid (and i
// unchanged) for a byte that does not start a well-formed sequence.
// Overlong forms and encoded surrogates are not well-formed.
char32_t DecodeSequence(std::string_view text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = lead < 0x80            ? 1
                        : (lead >> 5) == 0x06 ? 2
                        : (lead >> 4) == 0x0E ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
  if (length == 0 || length > text.size() - i) return kInvalid;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto trail = static_cast<unsigned char>(text[i + k]);
    if ((trail >> 6) != 2) return kInvalid;
    c = (c << 6) | (trail & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF || IsSurrogate(c)) return kInvalid;
  i += length;
  return c;
}

}  // namespace

std::u16string Utf8Codec::Decode(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t c = DecodeSequence(text, i);
    if (c == kInvalid) {
      out += static_cast<char16_t>(kUndecodableByteBase + static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      AppendUtf16(out, c);
    }
  }
  return out;
}

std::string Utf8Codec::Encode(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (IsSurrogate(c)) {
      out += '?';  // callers never pass one; stay well-formed if they do
      continue;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace platform
