// The directory: all entries, and for each storage an index of its children
// by name. A sibling tree that is a valid red-black tree in the index's order
// is kept so, node by node (sibling_tree.cpp), so that a change rewrites only
// the few entries it touches; any other tree is written anew, balanced, at
// the first change of its storage.
#pragma once

#include <cstdint>
#include <functional>
#include <queue>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cfb/child_order.h"
#include "cfb/dir_entry.h"
#include "cfb/entry_store.h"

namespace cfb {

inline constexpr uint32_t kRootId = 0;

class Directory {
 public:
  explicit Directory(uint32_t entries_per_page) : per_page_(entries_per_page) {}
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
  void Load(EntryStore entries, uint32_t entries_per_page);

  uint32_t size() const { return entries_.size(); }
  // Valid until the directory changes.
  EntryView entry(uint32_t id) const { return entries_[id]; }
  bool IsLive(uint32_t id) const { return id < live_.size() && live_[id]; }
  // Changes whenever the slot gets another element; 0 for unused slots.
  uint64_t stamp(uint32_t id) const {
    return IsLive(id) ? uint64_t{epoch_} << 32 | slots_[id].generation : 0;
  }
  uint32_t parent(uint32_t id) const { return slots_[id].parent; }

  // Changes to an entry; its page is written at the next commit.
  void SetStart(uint32_t id, uint32_t start);
  void SetSize(uint32_t id, uint64_t size);
  void SetAttributes(uint32_t id, const Attributes& attributes);

  // The child of exactly that name, else one whose name differs only in
  // case; kNoStream when there is none, kAmbiguous when several children
  // bear exactly that name.
  uint32_t Find(uint32_t storage, std::u16string_view name) const;
  // The children in the order of the sibling tree.
  std::vector<uint32_t> Children(uint32_t storage) const { return ChildrenOf(storage).ToVector(); }
  size_t ChildCount(uint32_t storage) const { return ChildrenOf(storage).size(); }
  // Where a new child of that name would stand among a storage's children;
  // taken when a child bears the name in any case.
  struct NewPlace {
    ChildOrder::Cursor at;
    bool taken = false;
  };
  NewPlace PlaceOfNew(uint32_t storage, std::u16string_view name) const;
  // Adds a child whose name is not taken; returns its id (a free slot
  // first). With the place PlaceOfNew found for its name, the storage's
  // children unchanged since, it is not searched again.
  uint32_t Insert(uint32_t storage, const DirEntry& entry);
  uint32_t Insert(uint32_t storage, const DirEntry& entry, NewPlace place);
  // Removes one entry (a storage must be empty) and frees its slot.
  void Erase(uint32_t id);
  void Rename(uint32_t id, std::u16string_view new_name);

  void RebuildTrees();
  uint32_t page_count() const { return size() / per_page_; }
  bool IsPageDirty(uint32_t page) const { return page < dirty_.size() && dirty_[page]; }
  void MarkAllDirty() { dirty_.assign(page_count(), true); }
  void MarkPageDirty(uint32_t page) { dirty_[page] = true; }
  void ClearDirty() { dirty_.assign(page_count(), false); }
  void SerializePage(uint32_t page, std::span<uint8_t> out) const;

 private:
  // A storage's children in the order of the sibling trees (length, then
  // upper-cased units), ties broken by the exact name and then the id, so
  // that names colliding in case keep their own places. Names are read from
  // the entries, so an entry leaves its index before its name changes.
  // A tree that is red-black in the index's order is kept so node by node;
  // any other is built anew at the commit after its storage changed.
  enum class TreeUpkeep { kNodeByNode, kRebuild };
  struct ChildIndex {
    ChildOrder ids;
    TreeUpkeep upkeep = TreeUpkeep::kNodeByNode;
    bool tree_dirty = false;  // to be built anew at the next commit
  };
  struct Slot {
    uint32_t parent = kNoStream;
    uint32_t tree_parent = kNoStream;  // in the storage's sibling tree
    uint32_t generation = 0;  // occupancies since the directory was loaded
  };

  const ChildOrder& ChildrenOf(uint32_t storage) const;
  bool ChildBefore(uint32_t a, uint32_t b) const;
  void Occupy(uint32_t id, uint32_t parent);
  void MarkDirty(uint32_t id) { dirty_[id / per_page_] = true; }
  void AddSlots();
  void LinkChild(uint32_t storage, uint32_t id);
  void LinkChildAt(uint32_t storage, uint32_t id, ChildOrder::Cursor at);
  uint32_t OccupyFreeSlot(uint32_t storage, const DirEntry& entry);
  void UnlinkChild(uint32_t storage, uint32_t id);
  uint32_t BuildTree(const std::vector<uint32_t>& ids, size_t lo, size_t hi, int depth,
                     int red_depth);

  // Red-black upkeep of a storage's sibling tree (sibling_tree.cpp). The
  // neighbours are the new child's in the index's order (kNoStream at an end).
  void TreeInsert(uint32_t storage, uint32_t id, uint32_t before, uint32_t after);
  void TreeRemove(uint32_t storage, uint32_t id);
  // Whether the tree loaded under storage is red-black, with the black
  // depth at each empty link the same.
  bool IsRedBlack(uint32_t storage) const;
  enum class Side { kLeft, kRight };
  static Side Opposite(Side side) { return side == Side::kLeft ? Side::kRight : Side::kLeft; }
  uint32_t Link(uint32_t id, Side side) const;
  void SetLink(uint32_t id, Side side, uint32_t to);
  Side SideOf(uint32_t id) const;  // of its tree parent
  void SetColor(uint32_t id, Color color);
  Color ColorOf(uint32_t id) const;  // black for kNoStream
  // Lifts the node's child on the other side into its place.
  void Rotate(uint32_t storage, uint32_t id, Side side);
  // new_child (kNoStream allowed) takes old_child's place under its parent.
  void Replace(uint32_t storage, uint32_t old_child, uint32_t new_child);
  void InsertFixup(uint32_t storage, uint32_t id);
  void RebuildAtCommit(uint32_t storage);
  void RemoveFixup(uint32_t storage, uint32_t x, uint32_t x_parent);

  uint32_t per_page_;
  EntryStore entries_;
  std::vector<Slot> slots_;
  std::vector<bool> live_;
  std::unordered_map<uint32_t, ChildIndex> children_;  // live storages only
  std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> free_;  // lowest first
  std::vector<bool> dirty_;
  uint32_t epoch_ = 0;  // a new one at each load: every old stamp goes stale
};

}  // namespace cfb
