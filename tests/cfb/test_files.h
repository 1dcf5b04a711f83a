// Helpers shared by the engine tests: scratch files and byte patterns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace cfb::testing {

using testing_support::TempDir;

// Bytes that differ by position and seed, so misplaced sectors show.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed * 2654435761u + 12345;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345;
    bytes[i] = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

}  // namespace cfb::testing
