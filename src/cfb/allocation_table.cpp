#include "cfb/allocation_table.h"

#include <algorithm>

#include "cfb/error.h"
#include "cfb/format.h"

namespace cfb {

AllocationTable::AllocationTable(uint32_t entries_per_page, uint32_t limit)
    : per_page_(entries_per_page), limit_(limit) {}

void AllocationTable::Assign(std::vector<uint32_t> entries) {
  next_ = std::move(entries);
  committed_.clear();
  dirty_.assign(page_count(), false);
  allocatable_ = static_cast<uint64_t>(std::count(next_.begin(), next_.end(), kFreeSect));
  used_ = next_.size() - allocatable_;
  search_from_ = 0;
  if (reserved_ < next_.size() && next_[reserved_] == kFreeSect) Set(reserved_, kEndOfChain);
}

uint32_t AllocationTable::page_count() const {
  return static_cast<uint32_t>(DivCeil(next_.size(), per_page_));
}

void AllocationTable::Grow(uint32_t new_size) {
  if (new_size <= next_.size()) return;
  const uint32_t old_size = size();
  next_.resize(new_size, kFreeSect);
  dirty_.resize(page_count(), false);
  allocatable_ += new_size - old_size;
  for (uint32_t p = old_size / per_page_; p < page_count(); ++p) dirty_[p] = true;
  if (reserved_ >= old_size && reserved_ < new_size) Set(reserved_, kEndOfChain);
}

void AllocationTable::MarkDirty(uint32_t index) { dirty_[index / per_page_] = true; }

void AllocationTable::Set(uint32_t index, uint32_t value) {
  Grow(index + 1);
  const bool was = Allocatable(index);
  used_ += uint64_t{value != kFreeSect} - uint64_t{next_[index] != kFreeSect};
  next_[index] = value;
  const bool now = Allocatable(index);
  if (was && !now) --allocatable_;
  if (!was && now) {
    ++allocatable_;
    search_from_ = std::min(search_from_, index);
  }
  MarkDirty(index);
}

void AllocationTable::ReserveWhenReached(uint32_t index) {
  reserved_ = index;
  if (index < next_.size() && next_[index] == kFreeSect) Set(index, kEndOfChain);
}

bool AllocationTable::CanAllocate(uint64_t count) const {
  const uint64_t room = limit_ > next_.size() ? limit_ - next_.size() : 0;
  return allocatable_ + room >= count;
}

uint32_t AllocationTable::Allocate(uint32_t hint) {
  uint32_t index = kNoHint;
  if (hint < next_.size() && Allocatable(hint)) {
    index = hint;
  } else if (hint != kNoHint && hint >= next_.size()) {
    index = size();  // appending keeps a chain that ends the file contiguous
  } else if (allocatable_ > 0) {
    while (search_from_ < next_.size() && !Allocatable(search_from_)) ++search_from_;
    if (search_from_ < next_.size()) index = search_from_;
  }
  if (index == kNoHint) index = size();
  if (index == reserved_) {  // only when appending: step over it
    Grow(reserved_ + 1);
    index = size();
  }
  if (index >= limit_) Fail(Errc::kMediumFull, "the file has reached its size limit");
  Set(index, kEndOfChain);
  return index;
}

uint32_t AllocationTable::FirstAllocatableIn(uint32_t from, uint32_t to) const {
  constexpr uint32_t kMaxScan = 1 << 16;
  from = std::max(from, search_from_);  // nothing below it is allocatable
  to = std::min(to, size());
  for (uint32_t i = from; i < to && i - from < kMaxScan; ++i)
    if (Allocatable(i)) return i;
  return kNoHint;
}

void AllocationTable::Free(uint32_t index) {
  if (index < next_.size()) Set(index, kFreeSect);
}

std::vector<uint32_t> AllocationTable::Chain(uint32_t start, uint64_t count) const {
  if (count > next_.size()) Corrupt("chain longer than its table");
  std::vector<uint32_t> chain;
  chain.reserve(count);
  uint32_t s = start;
  for (uint64_t i = 0; i < count; ++i) {
    if (s >= next_.size()) Corrupt("chain leaves its table");
    chain.push_back(s);
    s = next_[s];
  }
  return chain;
}

void AllocationTable::ProtectCommitted() {
  committed_.resize(next_.size());
  std::transform(next_.begin(), next_.end(), committed_.begin(),
                 [](uint32_t next) { return uint8_t{next != kFreeSect}; });
  allocatable_ = static_cast<uint64_t>(std::count(committed_.begin(), committed_.end(), 0));
  search_from_ = 0;
}

void AllocationTable::ProtectCurrentToo() {
  if (committed_.size() < next_.size()) committed_.resize(next_.size(), 0);
  // Only entries in use become protected: what is allocatable stays so.
  for (uint32_t i = 0; i < next_.size(); ++i) committed_[i] |= uint8_t{next_[i] != kFreeSect};
}

uint32_t AllocationTable::UsedEnd() const {
  uint32_t end = size();
  while (end > 0 && (next_[end - 1] == kFreeSect || end - 1 == reserved_)) --end;
  return end;
}

uint32_t AllocationTable::CommittedEnd() const {
  uint32_t end = static_cast<uint32_t>(committed_.size());
  while (end > 0 && !committed_[end - 1]) --end;
  return end;
}

void AllocationTable::Shrink(uint32_t new_size) {
  if (new_size >= next_.size()) return;
  for (uint32_t i = new_size; i < next_.size(); ++i) {
    if (Allocatable(i)) --allocatable_;
    if (next_[i] != kFreeSect) --used_;  // the reserved entry
  }
  next_.resize(new_size);
  if (committed_.size() > new_size) committed_.resize(new_size);
  dirty_.resize(page_count());
  if (new_size % per_page_ != 0) MarkDirty(new_size - 1);
  search_from_ = std::min(search_from_, new_size);
}

uint32_t AllocationTable::FirstAllocatable() const {
  uint32_t i = search_from_;
  while (i < next_.size() && !Allocatable(i)) ++i;
  return i;
}

void AllocationTable::MarkAllDirty() { dirty_.assign(page_count(), true); }

void AllocationTable::ClearDirty() { dirty_.assign(page_count(), false); }

void AllocationTable::SerializePage(uint32_t page, std::span<uint8_t> out) const {
  for (uint32_t i = 0; i < per_page_; ++i) {
    const uint64_t index = uint64_t{page} * per_page_ + i;
    StoreU32(out.data() + 4 * i, Get(static_cast<uint32_t>(std::min<uint64_t>(index, 0xFFFFFFFF))));
  }
}

}  // namespace cfb
