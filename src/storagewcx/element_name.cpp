#include "storagewcx/element_name.h"

#include <array>
#include <optional>

#include "platform/unicode.h"
#include "wcx/names.h"

namespace storagewcx {
namespace {

using platform::IsHighSurrogate;
using platform::IsLowSurrogate;
using platform::IsSurrogate;

bool NeedsEscape(char32_t c) {
  // Looked up in a table: every name of a listing passes through here.
  static constexpr auto kEscapedAscii = [] {
    std::array<bool, 0x80> table{};
    for (int b = 0; b < 0x20; ++b) table[b] = true;
    for (char c : wcx::kEscapeSet) table[static_cast<unsigned char>(c)] = true;
    return table;
  }();
  if (c < 0x80) return kEscapedAscii[c];
  return IsSurrogate(c);  // a lone one: no host takes it as part of a name
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
  // Most element names are ASCII without a character to escape: they are
  // copied unit by unit, in the same pass that checks them.
  if (!reserved.Any()) {
    std::string out(units.size(), '\0');
    bool plain = true;
    for (size_t i = 0; i < units.size(); ++i) {
      plain &= units[i] < 0x80 && !NeedsEscape(units[i]);
      out[i] = static_cast<char>(units[i]);
    }
    if (plain) return out;
  }
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size();) {
    const size_t start = i;
    char32_t c = units[i++];
    if (IsHighSurrogate(c) && i < units.size() && IsLowSurrogate(units[i]))
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i++] - 0xDC00);
    if (NeedsEscape(c) || reserved.At(start, units.size()))
      wcx::AppendEscape(out, units[start]);
    else
      platform::AppendUtf8(out, c);
  }
  return out;
}

std::u16string UnescapeElementName(std::string_view name) {
  // The escape of the empty name that damaged files hold.
  if (name == "#") return {};
  // Most names hold neither an escape nor a character beyond ASCII: every
  // name added passes through here, some several times.
  if (name.find('#') == std::string_view::npos && platform::IsAscii(name))
    return std::u16string(name.begin(), name.end());
  std::u16string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    const auto unit = name[i] == '#' && name.size() - i > 4 ? HexUnit(name.substr(i + 1, 4)) : std::nullopt;
    if (unit) {
      out += *unit;
      i += 5;
    } else {
      // A '#' that starts no escape is the host's own character: a file
      // named "Track #1" is stored under that name.
      platform::AppendUtf16(out, platform::NextCodePoint(name, i));
    }
  }
  return out;
}

bool EscapesToItself(std::string_view name) {
  if (name.empty()) return false;  // shown as "#"
  for (const char c : name)
    if (static_cast<unsigned char>(c) >= 0x80 || NeedsEscape(static_cast<unsigned char>(c))) return false;
  return !wcx::FindReservedParts(name).Any();
}

}  // namespace storagewcx
