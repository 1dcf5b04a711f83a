// Element names: validity and the order of the sibling trees. Names compare
// by length first, then unit by unit after the simple upper-case mapping;
// surrogates stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace cfb {

char16_t UpperCaseBeyondAscii(char16_t unit);
// Inline for ASCII, the units of most names, which every comparison of
// siblings goes through.
inline char16_t SimpleUpperCase(char16_t unit) {
  if (unit >= 0x80) return UpperCaseBeyondAscii(unit);
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
}

// The name as the sibling trees order it: each unit upper-cased.
std::u16string NameKey(std::u16string_view name);

// Orders keys made by NameKey: shorter first, then by code unit.
struct NameKeyLess {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  }
};

// A name that may be created: 1 to 31 units, none of / \ : !.
bool IsValidNewName(std::u16string_view name);
// A name that can possibly exist: up to 31 units. Files of other writers
// (or damaged ones) may hold characters that new names may not, or none.
bool IsPossibleName(std::u16string_view name);

}  // namespace cfb
