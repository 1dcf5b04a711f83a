// The commit: metadata that changed goes to sectors the committed state does
// not use, everything is synced, then the header is written and synced. Only
// after that do the sectors the old state used become free for reuse.
#include <algorithm>
#include <functional>
#include <span>

#include "cfb/compound_file.h"
#include "cfb/error.h"

namespace cfb {

namespace {

// Collects pages bound for consecutive sectors and writes each run at once.
class PageWriter {
 public:
  using Write = std::function<void(uint64_t offset, const std::vector<uint8_t>& bytes)>;
  PageWriter(Write write, uint32_t page_size) : write_(std::move(write)), page_size_(page_size) {}

  // The buffer for the page at that file offset.
  std::span<uint8_t> Next(uint64_t offset) {
    if (!run_.empty() && (offset != next_ || run_.size() >= kMaxRun)) Flush();
    if (run_.empty()) first_ = offset;
    next_ = offset + page_size_;
    run_.resize(run_.size() + page_size_);
    return std::span<uint8_t>(run_.data() + run_.size() - page_size_, page_size_);
  }
  void Flush() {
    if (!run_.empty()) write_(first_, run_);
    run_.clear();
  }

 private:
  static constexpr size_t kMaxRun = 4 << 20;
  Write write_;
  uint32_t page_size_;
  std::vector<uint8_t> run_;
  uint64_t first_ = 0;
  uint64_t next_ = 0;
};

}  // namespace

void CompoundFile::TrimMiniStream() {
  const uint64_t used = minifat_.UsedEnd();
  if (used * kMiniSectorSize < dir_.entry(kRootId).size()) {
    ResizeRegularChain(kRootId, DivCeil(used * kMiniSectorSize, sector_size()));
    dir_.SetSize(kRootId, used * kMiniSectorSize);
  }
  minifat_.Shrink(static_cast<uint32_t>(used));
}

// A chain is kept ascending where that costs little, as a copy written
// afresh lays it out: a page that must move goes between its neighbours
// where a sector is free there, else, when few pages follow it, after the
// page before it, and those pages follow. With many pages after it, it takes
// the lowest free sector and they stay: moving them would rewrite the rest
// of a large directory at the end of the file at every commit.
void CompoundFile::PlaceChainPages(std::vector<uint32_t>& pages, uint32_t needed,
                                   const std::vector<bool>& dirty, std::vector<bool>& to_write) {
  constexpr uint32_t kFollowersMoved = 16;
  to_write.assign(needed, false);
  if (pages.size() > needed) {
    for (size_t i = needed; i < pages.size(); ++i) fat_.Free(pages[i]);
    pages.resize(needed);
  }
  for (uint32_t i = 0; i < needed; ++i) {
    const bool exists = i < pages.size();
    if (i < dirty.size() && dirty[i]) to_write[i] = true;
    const bool in_order = exists && (i == 0 || pages[i] > pages[i - 1]);
    const bool fixed = exists && (!to_write[i] || !fat_.IsCommitted(pages[i]));
    const bool few_follow = needed - i - 1 <= kFollowersMoved;
    if (fixed && (in_order || !few_follow)) continue;
    const Placement placement = few_follow ? Placement::kAfterPrevious : Placement::kAnywhere;
    const uint32_t s = fat_.Allocate(SectorForPage(pages, i, placement));
    if (exists) {
      fat_.Free(pages[i]);  // a committed one stays protected until the commit
      pages[i] = s;
    } else {
      pages.push_back(s);
    }
    to_write[i] = true;
  }
  for (uint32_t i = 0; i < needed; ++i) {
    const uint32_t next = i + 1 < needed ? pages[i + 1] : kEndOfChain;
    if (fat_.Get(pages[i]) != next) fat_.Set(pages[i], next);
  }
}

uint32_t CompoundFile::SectorForPage(const std::vector<uint32_t>& pages, size_t p,
                                    Placement placement) const {
  const uint32_t after = p > 0 ? pages[p - 1] + 1 : 0;
  const uint32_t before = p + 1 < pages.size() ? pages[p + 1] : fat_.size();
  const uint32_t between = fat_.FirstAllocatableIn(after, before);
  if (between != AllocationTable::kNoHint || placement == Placement::kAnywhere || p == 0)
    return between;
  const uint32_t later = fat_.FirstAllocatableIn(after, fat_.size());
  return later != AllocationTable::kNoHint ? later : fat_.size();  // the end of the file
}

// The FAT describes the sectors that hold it, so placing its pages changes
// it: repeat until nothing moves. Each page moves at most once per commit.
void CompoundFile::PlaceFatAndDifat() {
  const uint32_t per = sector_size() / 4;
  bool& difat_changed = difat_dirty_;
  for (bool moved = true; moved;) {
    moved = false;
    while (uint64_t{fat_pages_.size()} * per < fat_.size()) {
      const uint32_t s =
          fat_.Allocate(SectorForPage(fat_pages_, fat_pages_.size(), Placement::kAfterPrevious));
      fat_.Set(s, kFatSect);
      fat_pages_.push_back(s);
      difat_changed |= fat_pages_.size() > kHeaderDifatCount;
      moved = true;
    }
    const size_t difat_needed = fat_pages_.size() > kHeaderDifatCount
                                    ? DivCeil(fat_pages_.size() - kHeaderDifatCount, per - 1)
                                    : 0;
    while (difat_pages_.size() < difat_needed) {
      const uint32_t s = fat_.Allocate(AllocationTable::kNoHint);
      fat_.Set(s, kDifSect);
      difat_pages_.push_back(s);
      difat_changed = moved = true;
    }
    // A DIFAT page the smaller table no longer needs would be announced in
    // the header although the header's slots hold every FAT page, which
    // strict readers refuse.
    while (difat_pages_.size() > difat_needed) {
      fat_.Free(difat_pages_.back());
      difat_pages_.pop_back();
      difat_changed = moved = true;
    }
    for (uint32_t p = 0; p < fat_pages_.size(); ++p) {
      if (!fat_.IsPageDirty(p) || !fat_.IsCommitted(fat_pages_[p])) continue;
      // Between its neighbours where a sector is free there: moving the
      // pages after it too would cost a write of the whole table.
      const uint32_t s = fat_.Allocate(SectorForPage(fat_pages_, p, Placement::kAnywhere));
      fat_.Set(s, kFatSect);
      fat_.Free(fat_pages_[p]);
      fat_pages_[p] = s;
      difat_changed |= p >= kHeaderDifatCount;
      moved = true;
    }
    if (!difat_changed) continue;
    for (uint32_t& d : difat_pages_) {
      if (!fat_.IsCommitted(d)) continue;
      const uint32_t s = fat_.Allocate(AllocationTable::kNoHint);
      fat_.Set(s, kDifSect);
      fat_.Free(d);
      d = s;
      moved = true;
    }
  }
}

void CompoundFile::Commit() {
  if (!changed_) return;
  // Changes that a failed revert left behind can no longer be written.
  CheckWritable();
  try {
    CommitOnce();
  } catch (...) {
    RestoreCommittedState();
    throw;
  }
  // The changes are durable; tidying up after them may fail harmlessly.
  if (MoveMetadataDown()) {
    try {
      CommitOnce();
    } catch (...) {
      RestoreCommittedState();
    }
  }
}

void CompoundFile::RestoreCommittedState() {
  try {
    if (header_write_started_) {
      // The new header may have reached the file, which would then hold the
      // new state although the commit failed: the committed one goes back.
      file_.WriteAt(0, committed_header_.data(), committed_header_.size());
      file_.Sync();
      header_write_started_ = false;
    }
    DropUncommitted();
  } catch (...) {
    writable_ = false;  // the state in memory is no longer the file's
  }
}

void CompoundFile::ShrinkFat() {
  // A stream that grew and went again (a failed or cancelled write) leaves
  // the table long; entries the committed state still protects stay.
  fat_.Shrink(std::max(fat_.UsedEnd(), fat_.CommittedEnd()));
  const uint32_t per = sector_size() / 4;
  while (fat_pages_.size() > 1 && (fat_pages_.size() - 1) * uint64_t{per} >= fat_.size()) {
    fat_.Free(fat_pages_.back());
    fat_pages_.pop_back();
    difat_dirty_ = true;
  }
}

// New metadata cannot go where the committed state's metadata was, so after
// a commit that freed much space the metadata may sit alone at the end of
// the file. A second commit moves it into the space the first one freed,
// and the file can shrink.
bool CompoundFile::MoveMetadataDown() {
  const uint32_t end = fat_.UsedEnd();
  const uint64_t free = end - fat_.UsedCount();
  if (end == 0 || free < 8 || free < end / 16) return false;
  const uint32_t last = end - 1;
  const uint32_t low = fat_.FirstAllocatable();
  const uint32_t kind = fat_.Get(last);
  const bool last_is_metadata =
      kind == kFatSect || kind == kDifSect ||
      std::find(dir_pages_.begin(), dir_pages_.end(), last) != dir_pages_.end() ||
      std::find(minifat_pages_.begin(), minifat_pages_.end(), last) != minifat_pages_.end();
  if (!last_is_metadata) return false;
  for (uint32_t p = 0; p < fat_pages_.size(); ++p)
    if (fat_pages_[p] > low) fat_.MarkPageDirty(p);
  for (uint32_t p = 0; p < dir_pages_.size(); ++p)
    if (dir_pages_[p] > low) dir_.MarkPageDirty(p);
  for (uint32_t p = 0; p < minifat_pages_.size(); ++p)
    if (minifat_pages_[p] > low) minifat_.MarkPageDirty(p);
  for (uint32_t d : difat_pages_) difat_dirty_ |= d > low;
  changed_ = true;
  return true;
}

void CompoundFile::CommitOnce() {
  const uint32_t ss = sector_size();
  const uint32_t per = ss / 4;
  header_write_started_ = false;
  dir_.RebuildTrees();
  TrimMiniStream();
  ShrinkFat();

  std::vector<bool> dirty;
  std::vector<bool> dir_write;
  std::vector<bool> minifat_write;
  for (uint32_t p = 0; p < dir_.page_count(); ++p) dirty.push_back(dir_.IsPageDirty(p));
  PlaceChainPages(dir_pages_, dir_.page_count(), dirty, dir_write);
  dirty.clear();
  for (uint32_t p = 0; p < minifat_.page_count(); ++p) dirty.push_back(minifat_.IsPageDirty(p));
  PlaceChainPages(minifat_pages_, minifat_.page_count(), dirty, minifat_write);
  PlaceFatAndDifat();

  PageWriter out(
      [this](uint64_t offset, const std::vector<uint8_t>& bytes) {
        WriteFile(offset, bytes.data(), bytes.size());
      },
      ss);
  for (uint32_t p = 0; p < dir_pages_.size(); ++p) {
    if (dir_write[p]) dir_.SerializePage(p, out.Next(Offset(dir_pages_[p])));
  }
  for (uint32_t p = 0; p < minifat_pages_.size(); ++p) {
    if (minifat_write[p]) minifat_.SerializePage(p, out.Next(Offset(minifat_pages_[p])));
  }
  for (uint32_t p = 0; p < fat_pages_.size(); ++p) {
    if (fat_.IsPageDirty(p)) fat_.SerializePage(p, out.Next(Offset(fat_pages_[p])));
  }
  if (difat_dirty_) {
    for (size_t d = 0; d < difat_pages_.size(); ++d) {
      std::span<uint8_t> page = out.Next(Offset(difat_pages_[d]));
      for (uint32_t i = 0; i + 1 < per; ++i) {
        const size_t index = kHeaderDifatCount + d * (per - 1) + i;
        StoreU32(page.data() + 4 * i, index < fat_pages_.size() ? fat_pages_[index] : kFreeSect);
      }
      StoreU32(page.data() + ss - 4,
               d + 1 < difat_pages_.size() ? difat_pages_[d + 1] : kEndOfChain);
    }
  }
  out.Flush();
  // Sectors allocated but never written lie past the end of the file.
  const uint64_t end = Offset(fat_.UsedEnd());
  if (file_size_ < end) {
    file_.Resize(end);
    file_size_ = end;
  }
  file_.Sync();
  // Should the header write fail, the file may hold either state.
  fat_.ProtectCurrentToo();

  Header h;
  h.version = header_.version;
  h.minor_version = 0x003E;
  for (uint32_t i = 0; i < kHeaderDifatCount; ++i)
    h.difat[i] = i < fat_pages_.size() ? fat_pages_[i] : kFreeSect;
  h.fat_sector_count = static_cast<uint32_t>(fat_pages_.size());
  h.first_difat_sector = difat_pages_.empty() ? kEndOfChain : difat_pages_[0];
  h.difat_sector_count = static_cast<uint32_t>(difat_pages_.size());
  h.first_dir_sector = dir_pages_[0];
  h.dir_sector_count = static_cast<uint32_t>(dir_pages_.size());
  h.first_minifat_sector = minifat_pages_.empty() ? kEndOfChain : minifat_pages_[0];
  h.minifat_sector_count = static_cast<uint32_t>(minifat_pages_.size());
  uint8_t raw[kHeaderSize];
  SerializeHeader(h, std::span<uint8_t, kHeaderSize>(raw, kHeaderSize));
  header_write_started_ = true;
  WriteFile(0, raw, kHeaderSize);
  file_.Sync();
  // The file holds the new state: this is the commit point.
  header_write_started_ = false;
  std::copy(raw, raw + kHeaderSize, committed_header_.begin());
  header_ = h;
  committed_size_ = file_size_;

  fat_.ProtectCommitted();
  fat_.ClearDirty();
  minifat_.ClearDirty();
  dir_.ClearDirty();
  difat_dirty_ = false;
  changed_ = false;
  CutTrailingFreeSectors();
  committed_room_ = Room{file_size_, FreeBytes()};
}

void CompoundFile::CutTrailingFreeSectors() {
  const uint64_t end = Offset(fat_.UsedEnd());
  if (file_size_ <= end) return;
  try {
    file_.Resize(end);
  } catch (const Error&) {
    return;  // the free sectors stay at the end: harmless
  }
  file_size_ = committed_size_ = end;
}

}  // namespace cfb
