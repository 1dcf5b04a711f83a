// The directory's names, packed one after another in fixed-size chunks: no
// per-name allocation, and growing never copies what is already there.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace cfb {

class NamePool {
 public:
  // Where the name was put. Throws kMediumFull past 4G units (a directory of
  // over 100 million entries).
  uint32_t Add(std::u16string_view name);
  std::u16string_view Get(uint32_t at, uint32_t length) const {
    if (length == 0) return u"";  // never a null pointer: callers copy from it
    return {chunks_[at / kChunkUnits].get() + at % kChunkUnits, length};
  }
  // A name no longer in use: its units count as waste until the owner
  // rebuilds the pool.
  void Release(uint32_t length) { wasted_ += length; }
  bool MostlyWaste() const { return wasted_ > kChunkUnits && wasted_ > used_ - wasted_; }
  void Clear();

 private:
  static constexpr uint32_t kChunkUnits = 1 << 15;

  std::vector<std::unique_ptr<char16_t[]>> chunks_;
  uint64_t used_ = 0;    // units handed out, with the unused tails of full chunks
  uint64_t wasted_ = 0;  // of those, units of released names
};

}  // namespace cfb
