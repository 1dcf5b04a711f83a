// Code-page conversion on every system: the lone surrogates that carry
// undecodable bytes and the exact per-character conversion, over the codec
// that the system's file chooses (UseCodec).
#include "platform/codec.h"

namespace platform {
namespace {

// Encodes any UTF-16 text: runs of well-formed text go to the codec, lone
// surrogates U+DC80..U+DCFF give back the byte they stand for, other lone
// surrogates give '?'.
std::string EncodeKeepingBytes(Codec& codec, std::u16string_view text) {
  std::string out;
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsSurrogate(text[i])) continue;
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    out += codec.Encode(text.substr(runStart, i - runStart));
    const char16_t unit = text[i];
    out += unit >= kUndecodableByteBase + 0x80 && unit <= kUndecodableByteBase + 0xFF
               ? static_cast<char>(unit - kUndecodableByteBase)
               : '?';
    runStart = i + 1;
  }
  out += codec.Encode(text.substr(runStart));
  return out;
}

bool IsOneCharacter(std::u16string_view text) {
  if (text.size() == 1) return !IsSurrogate(text[0]);
  return text.size() == 2 && IsHighSurrogate(text[0]) && IsLowSurrogate(text[1]);
}

std::optional<std::string> EncodeExact(Codec& codec, std::u16string_view character) {
  std::string bytes = codec.Encode(character);
  if (codec.Decode(bytes) != character) return std::nullopt;
  return bytes;
}

// Calls visit(units, exact bytes or nullopt) for each character of the text
// in turn, as long as visit returns true; false when it stopped early.
template <typename Visit>
bool ForEachCharacter(Codec& codec, std::u16string_view text, Visit&& visit) {
  for (size_t i = 0; i < text.size();) {
    // Names are mostly ASCII: a round trip through the codec would only
    // confirm what KeepsAscii says.
    if (text[i] < 0x80 && codec.KeepsAscii()) {
      if (!visit(1, std::string(1, static_cast<char>(text[i])))) return false;
      ++i;
      continue;
    }
    const size_t units =
        i + 1 < text.size() && IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1]) ? 2 : 1;
    const std::u16string_view character = text.substr(i, units);
    if (!visit(units, IsOneCharacter(character) ? EncodeExact(codec, character) : std::nullopt))
      return false;
    i += units;
  }
  return true;
}

}  // namespace

std::u16string AnsiToWide(std::string_view text, CodePage cp) {
  return WithCodec(cp, [&](Codec& codec) { return codec.Decode(text); });
}

std::optional<std::u16string> NumberedCodePageToWide(std::string_view text, uint32_t codePage) {
  std::optional<std::u16string> out;
  auto decode = [&](Codec& codec) { out = codec.Decode(text); };
  UseNumberedCodec(
      codePage, [](Codec& codec, void* context) { (*static_cast<decltype(decode)*>(context))(codec); },
      &decode);
  return out;
}

std::string WideToAnsi(std::u16string_view text, CodePage cp) {
  return WithCodec(cp, [&](Codec& codec) { return EncodeKeepingBytes(codec, text); });
}

std::vector<AnsiCharacter> WideCharsToAnsiExact(std::u16string_view text, CodePage cp) {
  // One codec for the whole text: looking the code page up is the costly part.
  return WithCodec(cp, [&](Codec& codec) {
    std::vector<AnsiCharacter> characters;
    characters.reserve(text.size());
    ForEachCharacter(codec, text, [&](size_t units, std::optional<std::string> bytes) {
      characters.push_back({units, std::move(bytes)});
      return true;
    });
    return characters;
  });
}

std::optional<std::string> WideToAnsiExact(std::u16string_view text, CodePage cp) {
  return WithCodec(cp, [&](Codec& codec) -> std::optional<std::string> {
    if (codec.KeepsAscii() && IsAscii(text)) return std::string(text.begin(), text.end());
    std::string out;
    out.reserve(text.size());
    const bool exact = ForEachCharacter(codec, text, [&](size_t, std::optional<std::string> bytes) {
      if (bytes) out += *bytes;
      return bytes.has_value();
    });
    if (!exact) return std::nullopt;
    return out;
  });
}

bool IsSingleByteCodePage(CodePage cp) {
  return WithCodec(cp, [](Codec& codec) { return codec.IsSingleByte(); });
}

bool KeepsAsciiCodePage(CodePage cp) {
  return WithCodec(cp, [](Codec& codec) { return codec.KeepsAscii(); });
}

}  // namespace platform
