#include "content/text_decoding.h"

#include <algorithm>

#include "platform/unicode.h"

namespace content {

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (unit == 0) break;
    units += unit;
  }
  return platform::Utf16ToUtf8(units);
}

std::string EightBitToUtf8(std::string_view text, const TextCodePage& codePage) {
  if (codePage.number == kCodePageUtf16)
    return Utf16LeToUtf8({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  text = text.substr(0, text.find('\0'));
  if (platform::IsAscii(text)) return std::string(text);
  if (codePage.number != 0) {
    if (auto wide = platform::NumberedCodePageToWide(text, codePage.number))
      return platform::Utf16ToUtf8(*wide);
  }
  return platform::Utf16ToUtf8(platform::AnsiToWide(text, codePage.fallback));
}

std::string EightBitToUtf8(std::span<const uint8_t> bytes, const TextCodePage& codePage) {
  return EightBitToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                        codePage);
}

std::string OnOneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
  return text;
}

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace content
