// One 8-bit character set as the code-page functions of os.h use it. The
// lone surrogates of the wide side (bytes that did not decode) are handled
// above this interface, so a codec only ever encodes well-formed UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Codec {
 public:
  virtual ~Codec() = default;

  // Never fails: a byte that does not decode becomes U+DC80..U+DCFF.
  virtual std::u16string Decode(std::string_view text) = 0;
  // `text` holds no lone surrogates. A character the set cannot represent
  // becomes '?'.
  virtual std::string Encode(std::u16string_view text) = 0;
  virtual bool IsSingleByte() const = 0;
  // Every ASCII character is its own byte, both ways.
  virtual bool KeepsAscii() const = 0;
};

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

inline bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

inline bool IsAscii(std::u16string_view text) {
  for (char16_t c : text)
    if (c >= 0x80) return false;
  return true;
}

// The first lone surrogate of a byte that did not decode.
inline constexpr char16_t kUndecodableByteBase = 0xDC00;

}  // namespace platform
