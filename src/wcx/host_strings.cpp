#include "wcx/host_strings.h"

#include <algorithm>
#include <string>

#include "platform/os.h"
#include "platform/unicode.h"
#include "wcx/names.h"

namespace wcx {
namespace {

// The code page of the host's 8-bit strings, both ways.
constexpr platform::CodePage kHostCodePage = platform::CodePage::kAnsi;

std::u16string_view Wide(const WCHAR* text) {
  return text ? std::u16string_view(reinterpret_cast<const char16_t*>(text)) : std::u16string_view();
}

// Bytes that a host would read as a control character or as a character of
// the escape set: a character of several bytes (a trail byte of a double-byte
// code page) may hold one.
bool HoldsReservedByte(std::string_view bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](char b) {
    return static_cast<unsigned char>(b) < 0x20 || kEscapeSet.find(b) != std::string_view::npos;
  });
}

template <class Char>
std::string ListToUtf8(const Char* list) {
  const auto length = [](const Char* name) { return std::char_traits<Char>::length(name); };
  // Reserved at once: a list of a million names, grown by doubling, took
  // twice its own size. Exact for ASCII, which is one byte a unit either way.
  size_t units = 0;
  if (list)
    while (list[units]) units += length(list + units) + 1;
  std::string out;
  out.reserve(units + 1);
  for (const Char* name = list; name && *name; name += length(name) + 1) {
    out += FromHost(name);
    out += '\0';
  }
  out += '\0';
  return out;
}

// The fields both records share.
template <class Record>
void FillNumbers(const EntryHeader& entry, Record& header) {
  header.PackSize = static_cast<uint32_t>(entry.PackSize);
  header.PackSizeHigh = static_cast<uint32_t>(entry.PackSize >> 32);
  header.UnpSize = static_cast<uint32_t>(entry.UnpSize);
  header.UnpSizeHigh = static_cast<uint32_t>(entry.UnpSize >> 32);
  header.FileTime = entry.FileTime;
  header.FileAttr = entry.FileAttr;
}

}  // namespace

std::string FromHost(const char* text) {
  if (!text) return {};
  const std::string_view bytes(text);
  if (platform::IsAscii(bytes) && platform::KeepsAsciiCodePage(kHostCodePage))
    return std::string(bytes);
  return platform::Utf16ToUtf8(platform::AnsiToWide(bytes, kHostCodePage));
}

std::string FromHost(const WCHAR* text) { return platform::Utf16ToUtf8(Wide(text)); }

std::string ListFromHost(const char* list) {
  // One look-up of the code page for all the names.
  const platform::CodePageSnapshot codePages;
  return ListToUtf8(list);
}

std::string ListFromHost(const WCHAR* list) { return ListToUtf8(list); }

ListedNames PackListFromHost(const char* list, std::string& holder) {
  holder = ListFromHost(list);
  return holder.c_str();
}

ListedNames PackListFromHost(const WCHAR* list, std::string&) {
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  return reinterpret_cast<const char16_t*>(list);
}

std::string ToHostAnsi(std::string_view text) {
  if (platform::IsAscii(text) && platform::KeepsAsciiCodePage(kHostCodePage))
    return std::string(text);
  const std::u16string wide = platform::Utf8ToUtf16(text);
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  for (const platform::AnsiCharacter& character :
       platform::WideCharsToAnsiExact(wide, kHostCodePage)) {
    const std::u16string_view units = std::u16string_view(wide).substr(i, character.units);
    i += character.units;
    // ASCII stands for itself: the plug-in's names hold escapes and
    // delimiters only where they mean to.
    if (character.bytes && (units[0] < 0x80 || !HoldsReservedByte(*character.bytes)))
      out += *character.bytes;
    else
      for (char16_t unit : units) AppendEscape(out, unit);
  }
  return out;
}

std::u16string ToHostWide(std::string_view text) { return platform::Utf8ToUtf16(text); }

void FillHostHeader(const EntryHeader& entry, tHeaderDataEx& header) {
  CopyToField(ToHostAnsi(entry.FileName), header.FileName, sizeof header.FileName);
  FillNumbers(entry, header);
}

void FillHostHeader(const EntryHeader& entry, tHeaderDataExW& header) {
  constexpr size_t kCapacity = sizeof header.FileName / sizeof header.FileName[0] - 1;
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  const size_t length = platform::Utf8ToUtf16(
      entry.FileName, reinterpret_cast<char16_t*>(header.FileName), kCapacity);
  header.FileName[length] = 0;
  FillNumbers(entry, header);
}

}  // namespace wcx
