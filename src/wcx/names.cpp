#include "wcx/names.h"

#include <algorithm>
#include <cstring>

namespace wcx {
namespace {

bool NeedsEscape(unsigned char b) {
  static constexpr std::string_view kReserved = "\"*<>?|/\\:%";
  return b < 0x20 || kReserved.find(static_cast<char>(b)) != std::string_view::npos;
}

}  // namespace

std::string SanitizeName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (name.empty()) return "%";
  const ReservedParts reserved = FindReservedParts(name);
  std::string result;
  result.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char ch = name[i];
    auto b = static_cast<unsigned char>(ch);
    if (NeedsEscape(b) || reserved.At(i, name.size())) {
      result += '%';
      result += kHex[b >> 4];
      result += kHex[b & 0x0F];
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
