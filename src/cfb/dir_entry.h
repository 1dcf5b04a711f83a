// One directory entry as a whole: a storage, a stream or the root.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cfb/format.h"

namespace cfb {

enum class EntryType : uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

enum class Color : uint8_t { kRed = 0, kBlack = 1 };

struct DirEntry {
  std::u16string name;
  EntryType type = EntryType::kUnused;
  Color color = Color::kBlack;
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
  std::array<uint8_t, 16> clsid{};
  uint32_t state_bits = 0;
  uint64_t ctime = 0;
  uint64_t mtime = 0;
  uint32_t start = kEndOfChain;
  uint64_t size = 0;

  bool is_storage() const { return type == EntryType::kStorage || type == EntryType::kRoot; }
  bool is_stream() const { return type == EntryType::kStream; }
};

}  // namespace cfb
