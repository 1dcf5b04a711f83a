// UTF-8 and UTF-16, the two forms names take inside the plug-in: UTF-16 at
// the structured-storage interface and at the host's W functions, UTF-8
// everywhere else. Any UTF-16 text survives a round trip through UTF-8: a
// lone surrogate (in the name of a damaged or foreign element, or standing
// for a byte of a host's name that did not decode) is carried in its own
// three-byte form, as WTF-8 does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Without an early exit, so that the loop vectorizes: names are short.
inline bool IsAscii(std::string_view text) {
  unsigned char seen = 0;
  for (char c : text) seen |= static_cast<unsigned char>(c);
  return seen < 0x80;
}

inline bool IsAscii(std::u16string_view text) {
  char16_t seen = 0;
  for (char16_t c : text) seen |= c;
  return seen < 0x80;
}

// The lone surrogate U+DC80..U+DCFF that stands for a byte which did not
// decode is kUndecodableByteBase plus the byte.
inline constexpr char16_t kUndecodableByteBase = 0xDC00;

std::string Utf16ToUtf8(std::u16string_view text);
// The same into out, whose room is reused: for names converted one after
// another.
void Utf16ToUtf8(std::u16string_view text, std::string& out);
// Never fails: a byte that starts no well-formed sequence becomes the lone
// surrogate that stands for it.
std::u16string Utf8ToUtf16(std::string_view text);
// As much of the text as fits in capacity units, never ending inside a
// surrogate pair; the number of units written (no terminator).
size_t Utf8ToUtf16(std::string_view text, char16_t* out, size_t capacity);

// Whether a decoder takes the three-byte form of a surrogate as that
// surrogate (the plug-in's own UTF-8) or as bytes that do not decode (UTF-8
// from outside, which never holds one).
enum class EncodedSurrogates { kAccepted, kRefused };
inline constexpr char32_t kNotDecoded = 0xFFFFFFFF;
// The code point of the sequence at text[i], with i advanced past it; or
// kNotDecoded, with i unchanged, when the bytes there are not well-formed.
char32_t DecodeUtf8(std::string_view text, size_t& i, EncodedSurrogates surrogates);
// The code point of the character at text[i], with i advanced past it; a
// byte that does not decode gives the surrogate that stands for it.
char32_t NextCodePoint(std::string_view text, size_t& i);

void AppendUtf8(std::string& out, char32_t c);
void AppendUtf16(std::u16string& out, char32_t c);

// The name lower-cased by Unicode's simple mapping, the same for every user
// and code page: the key under which names compare as file names.
std::string LowerCaseFileName(std::string_view name);
// The simple lower-case form of one character; each system's file provides
// it from the system's tables.
char32_t LowerCaseCodePoint(char32_t c);

}  // namespace platform
