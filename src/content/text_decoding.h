// Text as files store it, to UTF-8: UTF-16LE, and 8-bit text in the code
// page its file names, else the ANSI code page. Strings end at their first
// NUL, as the writers' readers take them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace content {

// How 8-bit strings of one file are decoded: `number` is the file's own
// code page (0 when it names none), `fallback` the one used otherwise or
// when this system cannot convert that number.
struct TextCodePage {
  uint32_t number = 0;
  platform::CodePage fallback = platform::CodePage::kAnsi;
};

inline constexpr uint32_t kCodePageUtf16 = 1200;

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes);
std::string EightBitToUtf8(std::span<const uint8_t> bytes, const TextCodePage& codePage);
std::string EightBitToUtf8(std::string_view text, const TextCodePage& codePage);

// The text with each control character (line breaks included) as a space,
// for values shown one to a line.
std::string OnOneLine(std::string text);

// The part of a path after its last '\' or '/'.
std::string_view BaseName(std::string_view path);

}  // namespace content
