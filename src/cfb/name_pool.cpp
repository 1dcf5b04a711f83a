#include "cfb/name_pool.h"

#include <algorithm>

#include "cfb/error.h"

namespace cfb {

uint32_t NamePool::Add(std::u16string_view name) {
  if (name.empty()) return 0;
  const uint64_t end = chunks_.size() * uint64_t{kChunkUnits};
  if (end - used_ < name.size()) {
    // A name never spans two chunks.
    wasted_ += end - used_;
    used_ = end;
    if (end + kChunkUnits > UINT32_MAX) Fail(Errc::kMediumFull, "too many names in the directory");
    chunks_.push_back(std::make_unique<char16_t[]>(kChunkUnits));
  }
  const auto at = static_cast<uint32_t>(used_);
  std::copy(name.begin(), name.end(), chunks_[at / kChunkUnits].get() + at % kChunkUnits);
  used_ += name.size();
  return at;
}

void NamePool::Clear() {
  chunks_.clear();
  used_ = 0;
  wasted_ = 0;
}

}  // namespace cfb
