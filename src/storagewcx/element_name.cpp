#include "storagewcx/element_name.h"

#include <array>
#include <optional>

#include "platform/os.h"
#include "wcx/names.h"

namespace storagewcx {
namespace {

constexpr platform::CodePage kElementCodePage = platform::CodePage::kThreadAnsi;
constexpr std::string_view kEscapeSet = "\"*<>?|/\\:%#";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool NeedsEscape(std::string_view bytes) {
  // Looked up in a table: every name of a listing passes through here.
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> table{};
    for (int b = 0; b < 32; ++b) table[b] = true;
    for (char c : kEscapeSet) table[static_cast<unsigned char>(c)] = true;
    return table;
  }();
  for (char c : bytes)
    if (kEscaped[static_cast<unsigned char>(c)]) return true;
  return false;
}

void AppendEscape(std::string& out, char16_t unit) {
  out += '#';
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

std::optional<char16_t> HexUnit(std::string_view digits) {
  char16_t unit = 0;
  for (char c : digits) {
    int value;
    if (c >= '0' && c <= '9')
      value = c - '0';
    else if (c >= 'A' && c <= 'F')
      value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      value = c - 'a' + 10;
    else
      return std::nullopt;
    unit = static_cast<char16_t>(unit << 4 | value);
  }
  return unit;
}

}  // namespace

std::string EscapeElementName(const char16_t* name) {
  if (name == nullptr) return {};
  const std::u16string_view units(name);
  // A damaged file may hold an empty name: "#" is the escape of nothing,
  // and unescapes to the empty name again.
  if (units.empty()) return "#";
  const wcx::ReservedParts reserved = wcx::FindReservedParts(units);
  std::string out;
  // Most names convert whole and hold nothing to escape: one conversion
  // then does, instead of one per character.
  const bool anyReserved = reserved.all || reserved.first || reserved.last;
  std::optional<std::string> whole =
      anyReserved ? std::nullopt : platform::WideToAnsiExact(units, kElementCodePage);
  if (whole && !NeedsEscape(*whole)) {
    out = std::move(*whole);
  } else {
    out.reserve(units.size());
    size_t i = 0;
    // A character without an exact form (a lone surrogate among them) is
    // escaped, unit by unit.
    for (const platform::AnsiCharacter& character :
         platform::WideCharsToAnsiExact(units, kElementCodePage)) {
      const bool forced =
          reserved.At(i, units.size()) || reserved.At(i + character.units - 1, units.size());
      if (character.bytes && !forced && !NeedsEscape(*character.bytes)) {
        out += *character.bytes;
      } else {
        for (char16_t unit : units.substr(i, character.units)) AppendEscape(out, unit);
      }
      i += character.units;
    }
  }
  return out;
}

std::u16string UnescapeElementName(std::string_view name) {
  std::u16string out;
  // Text between escapes is converted a run at a time, so that a character
  // of several bytes reaches the code page whole.
  size_t runStart = 0;
  auto flushRun = [&](size_t end) {
    if (end > runStart)
      out += platform::AnsiToWide(name.substr(runStart, end - runStart), kElementCodePage);
  };
  for (size_t i = 0; i < name.size();) {
    if (name[i] != '#') {
      ++i;
      continue;
    }
    const auto unit = name.size() - i > 4 ? HexUnit(name.substr(i + 1, 4)) : std::nullopt;
    if (!unit) return {};
    flushRun(i);
    out += *unit;
    i += 5;
    runStart = i;
  }
  flushRun(name.size());
  return out;
}

}  // namespace storagewcx
