// The directory: all entries, and for each storage an index of its children
// by name. The sibling trees on disk are read once at load and written anew
// (balanced, coloured red-black) for the storages whose children changed.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cfb/dir_entry.h"
#include "cfb/names.h"

namespace cfb {

inline constexpr uint32_t kRootId = 0;

class Directory {
 public:
  explicit Directory(uint32_t entries_per_page) : per_page_(entries_per_page) {}
  // The children's indexes refer to this object: it stays where it is.
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Empty, for entries of this many per sector.
  void Reset(uint32_t entries_per_page);

  // A directory with nothing but the root.
  void InitEmpty();
  // Takes the entries read from the file and walks the sibling trees from
  // the root. Throws kCorrupt for an out-of-range id, a loop, an entry
  // reached twice or an unused entry in a tree. Children whose names collide
  // (written by other writers, against the format's rules) all stay.
  void Load(std::vector<DirEntry> entries, uint32_t entries_per_page);

  uint32_t size() const { return static_cast<uint32_t>(entries_.size()); }
  const DirEntry& entry(uint32_t id) const { return entries_[id]; }
  // The entry for change; its page is written at the next commit.
  DirEntry& Modify(uint32_t id);
  bool IsLive(uint32_t id) const { return id < meta_.size() && meta_[id].stamp != 0; }
  // Changes whenever the slot gets another element; 0 for unused slots.
  uint64_t stamp(uint32_t id) const { return meta_[id].stamp; }
  uint32_t parent(uint32_t id) const { return meta_[id].parent; }

  // The child of exactly that name, else one whose name differs only in
  // case; kNoStream when there is none, kAmbiguous when several children
  // bear exactly that name.
  uint32_t Find(uint32_t storage, std::u16string_view name) const;
  // The children in the order of the sibling tree.
  std::vector<uint32_t> Children(uint32_t storage) const;
  size_t ChildCount(uint32_t storage) const;
  // Adds a child whose name is not taken; returns its id (a free slot first).
  uint32_t Insert(uint32_t storage, DirEntry entry);
  // Removes one entry (a storage must be empty) and frees its slot.
  void Erase(uint32_t id);
  void Rename(uint32_t id, std::u16string_view new_name);

  void RebuildTrees();
  uint32_t page_count() const { return static_cast<uint32_t>(entries_.size() / per_page_); }
  bool IsPageDirty(uint32_t page) const { return page < dirty_.size() && dirty_[page]; }
  void MarkAllDirty() { dirty_.assign(page_count(), true); }
  void MarkPageDirty(uint32_t page) { dirty_[page] = true; }
  void ClearDirty() { dirty_.assign(page_count(), false); }
  void SerializePage(uint32_t page, std::span<uint8_t> out) const;

 private:
  // A storage's children in the order of the sibling trees (length, then
  // upper-cased units), ties broken by the exact name and then the id, so
  // that names colliding in case keep their own places. The keys are ids;
  // names are read from the entries, so an entry leaves its index before
  // its name changes.
  enum class Match { kExactName, kAnyCase };
  struct NameProbe {
    std::u16string_view name;
    Match match;
  };
  struct ChildOrder {
    using is_transparent = void;
    const Directory* dir;
    bool operator()(uint32_t a, uint32_t b) const;
    bool operator()(uint32_t a, const NameProbe& b) const;
    bool operator()(const NameProbe& a, uint32_t b) const;
  };
  using ChildIndex = std::set<uint32_t, ChildOrder>;
  std::unique_ptr<ChildIndex> NewIndex() const {
    return std::make_unique<ChildIndex>(ChildOrder{this});
  }

  struct Meta {
    uint32_t parent = kNoStream;
    uint64_t stamp = 0;
    bool tree_dirty = false;
    std::unique_ptr<ChildIndex> children;  // storages only
  };

  void AddSlots();
  void LinkChild(uint32_t storage, uint32_t id);
  void UnlinkChild(uint32_t storage, uint32_t id);
  uint32_t BuildTree(const std::vector<uint32_t>& ids, size_t lo, size_t hi, int depth,
                     int red_depth);

  uint32_t per_page_;
  std::vector<DirEntry> entries_;
  std::vector<Meta> meta_;
  std::set<uint32_t> free_;
  std::vector<bool> dirty_;
  uint64_t next_stamp_ = 1;
};

DirEntry UnusedEntry();

}  // namespace cfb
