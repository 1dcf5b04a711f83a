// The simple upper-case mapping of UTF-16 code units, as ranges generated
// from the Unicode character database (gen_case_table.py).
#pragma once

#include <cstddef>
#include <cstdint>

namespace cfb {

// Code units first, first + stride, ..., last map to unit + delta.
struct CaseRange {
  uint16_t first;
  uint16_t last;
  uint16_t stride;
  int32_t delta;
};

extern const CaseRange kUpperCaseRanges[];
extern const std::size_t kUpperCaseRangeCount;

}  // namespace cfb
