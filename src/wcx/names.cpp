#include "wcx/names.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace wcx {
namespace {

bool NeedsEscape(unsigned char b) {
  // Looked up in a table: every byte of every name of a listing passes here.
  static constexpr std::string_view kReserved = "\"*<>?|/\\:%";
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    for (char c : kReserved) table[static_cast<unsigned char>(c)] = true;
    return table;
  }();
  return kEscaped[b];
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void AppendEscape(std::string& out, char16_t unit) {
  out += '#';
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

std::string SanitizeName(std::string_view name) {
  if (name.empty()) return "%";
  const ReservedParts reserved = FindReservedParts(name);
  // Names that come escaped already (every element name) need nothing.
  if (!reserved.Any() && std::none_of(name.begin(), name.end(), [](char c) {
        return NeedsEscape(static_cast<unsigned char>(c));
      }))
    return std::string(name);
  std::string result;
  result.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char ch = name[i];
    auto b = static_cast<unsigned char>(ch);
    if (NeedsEscape(b) || reserved.At(i, name.size())) {
      result += '%';
      result += kHexDigits[b >> 4];
      result += kHexDigits[b & 0x0F];
    } else {
      result += ch;
    }
  }
  return result;
}

void CopyToField(std::string_view value, char* field, size_t fieldSize) {
  if (fieldSize == 0) return;
  size_t n = std::min(value.size(), fieldSize - 1);
  std::memcpy(field, value.data(), n);
  field[n] = '\0';
}

}  // namespace wcx
