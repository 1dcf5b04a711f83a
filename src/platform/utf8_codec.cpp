#include "platform/utf8_codec.h"

namespace platform {

std::u16string Utf8Codec::Decode(std::string_view text) {
  // Text from outside holds no surrogates: their three-byte forms are bytes
  // that do not decode, kept as such.
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t c = DecodeUtf8(text, i, EncodedSurrogates::kRefused);
    if (c == kNotDecoded)
      out += static_cast<char16_t>(kUndecodableByteBase + static_cast<unsigned char>(text[i++]));
    else
      AppendUtf16(out, c);
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
