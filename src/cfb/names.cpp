#include "cfb/names.h"

#include <algorithm>

#include "cfb/case_table.h"
#include "cfb/format.h"

namespace cfb {

char16_t UpperCaseBeyondAscii(char16_t unit) {
  const CaseRange* begin = kUpperCaseRanges;
  const CaseRange* end = kUpperCaseRanges + kUpperCaseRangeCount;
  const CaseRange* r = std::upper_bound(
      begin, end, unit, [](char16_t u, const CaseRange& range) { return u < range.first; });
  if (r == begin) return unit;
  --r;
  if (unit > r->last || (unit - r->first) % r->stride != 0) return unit;
  return static_cast<char16_t>(unit + r->delta);
}

std::u16string NameKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& unit : key) unit = SimpleUpperCase(unit);
  return key;
}

bool IsPossibleName(std::u16string_view name) { return name.size() <= kMaxNameLength; }

bool IsValidNewName(std::u16string_view name) {
  // One pass, not find_first_of's search of the set for every unit: every
  // element added is checked.
  return !name.empty() && IsPossibleName(name) && std::none_of(name.begin(), name.end(), [](char16_t c) {
           return c == u'/' || c == u'\\' || c == u':' || c == u'!';
         });
}

}  // namespace cfb
