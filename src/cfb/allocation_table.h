// An allocation table: the FAT of the file's sectors or the mini FAT of the
// mini stream. Kept whole in memory; the commit writes back the pages that
// changed.
//
// The FAT protects the sectors of the last committed state: a sector that it
// used stays unallocatable until the next commit, even after it was freed,
// so that no change ever overwrites what the file on disk still refers to.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace cfb {

class AllocationTable {
 public:
  static constexpr uint32_t kNoHint = 0xFFFFFFFF;

  // entries_per_page: entries per sector of the table. limit: the number of
  // entries the file may have (allocation beyond fails with kMediumFull).
  AllocationTable(uint32_t entries_per_page, uint32_t limit);

  void Assign(std::vector<uint32_t> entries);
  uint32_t size() const { return static_cast<uint32_t>(next_.size()); }
  uint32_t entries_per_page() const { return per_page_; }
  uint32_t page_count() const;

  // FREESECT for entries past the end.
  uint32_t Get(uint32_t index) const { return index < next_.size() ? next_[index] : 0xFFFFFFFF; }
  void Set(uint32_t index, uint32_t value);

  // A sector that the format keeps allocated although nothing refers to it
  // (the range-lock sector): marked ENDOFCHAIN as soon as the table reaches it.
  void ReserveWhenReached(uint32_t index);

  // Takes an allocatable entry, preferring hint (to keep chains contiguous),
  // marks it ENDOFCHAIN and returns it. Throws kMediumFull.
  uint32_t Allocate(uint32_t hint);
  bool CanAllocate(uint64_t count) const;
  // The first allocatable entry from `from` on and below `to`, looking at a
  // bounded number of entries; kNoHint when there is none there.
  uint32_t FirstAllocatableIn(uint32_t from, uint32_t to) const;
  void Free(uint32_t index);

  // The chain from start: exactly count entries. Throws kCorrupt when it
  // leaves the table, meets a special value or ends early.
  std::vector<uint32_t> Chain(uint32_t start, uint64_t count) const;

  // Commit protection (FAT only). ProtectCommitted: the current state is the
  // committed one. ProtectCurrentToo: both states are protected, for the time
  // in which either may be the one on disk.
  void ProtectCommitted();
  void ProtectCurrentToo();
  bool IsCommitted(uint32_t index) const { return index < committed_.size() && committed_[index]; }

  // Last used entry + 1, not counting the reserved one.
  uint32_t UsedEnd() const;
  // Last entry the committed state uses + 1.
  uint32_t CommittedEnd() const;
  // Drops the entries from new_size on (all free).
  void Shrink(uint32_t new_size);

  bool IsPageDirty(uint32_t page) const { return page < dirty_.size() && dirty_[page]; }
  void MarkPageDirty(uint32_t page) { dirty_[page] = true; }
  void MarkAllDirty();
  uint32_t FirstAllocatable() const;
  uint64_t UsedCount() const { return used_; }
  void ClearDirty();
  void SerializePage(uint32_t page, std::span<uint8_t> out) const;

 private:
  bool Allocatable(uint32_t index) const {
    return next_[index] == 0xFFFFFFFF && !IsCommitted(index);
  }
  void Grow(uint32_t new_size);
  void MarkDirty(uint32_t index);

  uint32_t per_page_;
  uint32_t limit_;
  uint32_t reserved_ = 0xFFFFFFFF;
  std::vector<uint32_t> next_;
  std::vector<uint8_t> committed_;  // bytes: filled and tested per entry, often
  std::vector<bool> dirty_;
  uint64_t allocatable_ = 0;  // allocatable entries below size()
  uint64_t used_ = 0;         // entries other than FREESECT
  uint32_t search_from_ = 0;  // no allocatable entry below it
};

}  // namespace cfb
