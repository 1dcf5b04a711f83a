#include "cfb/directory.h"

#include <algorithm>
#include <bit>

#include "cfb/error.h"
#include "cfb/names.h"

namespace cfb {

namespace {

// Sibling-tree order of two names: shorter first, then by upper-cased unit.
int CompareAsSiblings(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const char16_t ua = SimpleUpperCase(a[i]), ub = SimpleUpperCase(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  return 0;
}

enum class Match { kExactName, kAnyCase };

// Order of an entry's name against a probe: siblings' order, then, for an
// exact probe, the exact name.
int CompareToProbe(std::u16string_view name, std::u16string_view probe, Match match) {
  if (const int order = CompareAsSiblings(name, probe); order != 0 || match == Match::kAnyCase)
    return order;
  return name.compare(probe);
}

// Whether the child id (kNoStream for none) bears the name.
bool Named(const EntryStore& entries, uint32_t id, std::u16string_view name, Match match) {
  return id != kNoStream && CompareToProbe(entries[id].name(), name, match) == 0;
}

const ChildOrder kNoChildren;

}  // namespace

bool Directory::ChildBefore(uint32_t a, uint32_t b) const {
  if (const int order = CompareToProbe(entries_[a].name(), entries_[b].name(), Match::kExactName);
      order != 0)
    return order < 0;
  return a < b;
}

const ChildOrder& Directory::ChildrenOf(uint32_t storage) const {
  const auto it = children_.find(storage);
  return it != children_.end() ? it->second.ids : kNoChildren;
}

void Directory::Reset(uint32_t entries_per_page) {
  per_page_ = entries_per_page;
  entries_.Clear();
  slots_.clear();
  live_.clear();
  children_.clear();
  free_ = {};
  dirty_.clear();
}

void Directory::Occupy(uint32_t id, uint32_t parent) {
  slots_[id].parent = parent;
  ++slots_[id].generation;
  live_[id] = true;
  if (entries_[id].is_storage()) children_[id];
}

void Directory::AddSlots() {
  const uint32_t first = size();
  entries_.AppendUnused(per_page_);
  slots_.resize(size());
  live_.resize(size());
  dirty_.resize(page_count(), true);
  for (uint32_t id = first; id < size(); ++id) free_.push(id);
}

void Directory::InitEmpty() {
  Reset(per_page_);
  ++epoch_;
  AddSlots();
  free_.pop();  // the root's
  DirEntry root;
  root.name = u"Root Entry";
  root.type = EntryType::kRoot;
  entries_.Assign(kRootId, root);
  Occupy(kRootId, kNoStream);
  MarkAllDirty();
}

void Directory::Load(EntryStore entries, uint32_t entries_per_page) {
  if (entries.size() == 0 || entries.size() % entries_per_page != 0) Corrupt("directory size");
  const EntryType root_type = entries[kRootId].type();
  if (root_type != EntryType::kRoot && root_type != EntryType::kStorage)
    Corrupt("the first directory entry is not the root");
  Reset(entries_per_page);
  ++epoch_;
  entries_ = std::move(entries);
  slots_.resize(size());
  live_.resize(size());
  dirty_.assign(page_count(), false);

  std::vector<bool> reached(size(), false);
  reached[kRootId] = true;
  Occupy(kRootId, kNoStream);
  std::vector<uint32_t> storages{kRootId};
  std::vector<uint32_t> left_spine;
  std::vector<uint32_t> in_order;
  auto reach = [&](uint32_t id) {
    if (id >= size()) Corrupt("directory id out of range");
    if (reached[id]) Corrupt("directory entry reached twice");
    reached[id] = true;
    const EntryType type = entries_[id].type();
    if (type != EntryType::kStorage && type != EntryType::kStream)
      Corrupt("unused or root entry inside a sibling tree");
  };
  while (!storages.empty()) {
    const uint32_t storage = storages.back();
    storages.pop_back();
    in_order.clear();
    uint32_t from = kNoStream;
    for (uint32_t next = entries_[storage].child(); next != kNoStream || !left_spine.empty();) {
      for (; next != kNoStream; from = next, next = entries_[next].left()) {
        reach(next);
        slots_[next].tree_parent = from;
        left_spine.push_back(next);
      }
      const uint32_t id = left_spine.back();
      left_spine.pop_back();
      from = id;
      next = entries_[id].right();
      in_order.push_back(id);
      Occupy(id, storage);
      if (entries_[id].is_storage()) storages.push_back(id);
    }
    // A well-formed tree gives its children sorted, at the cost of one
    // comparison each; the index is sized exactly.
    const auto before = [this](uint32_t a, uint32_t b) { return ChildBefore(a, b); };
    const bool sorted = std::is_sorted(in_order.begin(), in_order.end(), before);
    if (!sorted) std::sort(in_order.begin(), in_order.end(), before);
    ChildIndex& index = children_[storage];
    index.ids.Assign(in_order);
    index.upkeep =
        sorted && IsRedBlack(storage) ? TreeUpkeep::kNodeByNode : TreeUpkeep::kRebuild;
  }
  for (uint32_t id = 0; id < size(); ++id) {
    if (reached[id]) continue;
    // Unreachable entries in use keep their sectors; only unused ones are reused.
    if (entries_[id].type() == EntryType::kUnused) free_.push(id);
  }
}

void Directory::SetStart(uint32_t id, uint32_t start) {
  MarkDirty(id);
  entries_.SetStart(id, start);
}

void Directory::SetSize(uint32_t id, uint64_t size) {
  MarkDirty(id);
  entries_.SetSize(id, size);
}

void Directory::SetAttributes(uint32_t id, const Attributes& attributes) {
  MarkDirty(id);
  entries_.SetAttributes(id, attributes);
}

Directory::NewPlace Directory::PlaceOfNew(uint32_t storage, std::u16string_view name) const {
  const ChildOrder& ids = ChildrenOf(storage);
  NewPlace place{ids.LowerBound([&](uint32_t id) {
    return CompareToProbe(entries_[id].name(), name, Match::kExactName) < 0;
  })};
  // Names that differ only in case sit together, where the exact name would
  // stand: a name taken in any case has a twin on one side or the other.
  place.taken = Named(entries_, ids.At(place.at), name, Match::kAnyCase) ||
                Named(entries_, ids.Before(place.at), name, Match::kAnyCase);
  return place;
}

uint32_t Directory::Find(uint32_t storage, std::u16string_view name) const {
  const ChildOrder& ids = ChildrenOf(storage);
  const NewPlace place = PlaceOfNew(storage, name);
  const uint32_t at = ids.At(place.at);
  if (Named(entries_, at, name, Match::kExactName))
    return Named(entries_, ids.At(ids.Next(place.at)), name, Match::kExactName) ? kAmbiguous : at;
  // A new name, adding's common case, needs no second search.
  if (!place.taken) return kNoStream;
  return ids.At(ids.LowerBound(
      [&](uint32_t id) { return CompareToProbe(entries_[id].name(), name, Match::kAnyCase) < 0; }));
}

void Directory::LinkChild(uint32_t storage, uint32_t id) {
  LinkChildAt(storage, id,
              ChildrenOf(storage).LowerBound([&](uint32_t other) { return !ChildBefore(id, other); }));
}

void Directory::LinkChildAt(uint32_t storage, uint32_t id, ChildOrder::Cursor at) {
  ChildIndex& index = children_.at(storage);
  const ChildOrder::Neighbours sides = index.ids.InsertAt(at, id);
  if (index.upkeep == TreeUpkeep::kRebuild) {
    index.tree_dirty = true;
    return;
  }
  TreeInsert(storage, id, sides.before, sides.after);
}

void Directory::UnlinkChild(uint32_t storage, uint32_t id) {
  ChildIndex& index = children_.at(storage);
  if (!index.ids.Erase(id, [this](uint32_t a, uint32_t b) { return ChildBefore(a, b); })) return;
  if (index.upkeep == TreeUpkeep::kRebuild)
    index.tree_dirty = true;
  else
    TreeRemove(storage, id);
}

uint32_t Directory::OccupyFreeSlot(uint32_t storage, const DirEntry& entry) {
  if (free_.empty()) AddSlots();
  const uint32_t id = free_.top();
  free_.pop();
  MarkDirty(id);
  entries_.Assign(id, entry);
  Occupy(id, storage);
  return id;
}

uint32_t Directory::Insert(uint32_t storage, const DirEntry& entry) {
  const uint32_t id = OccupyFreeSlot(storage, entry);
  LinkChild(storage, id);
  return id;
}

uint32_t Directory::Insert(uint32_t storage, const DirEntry& entry, NewPlace place) {
  const uint32_t id = OccupyFreeSlot(storage, entry);
  LinkChildAt(storage, id, place.at);
  return id;
}

void Directory::Erase(uint32_t id) {
  if (slots_[id].parent != kNoStream) UnlinkChild(slots_[id].parent, id);
  children_.erase(id);
  slots_[id].parent = kNoStream;
  live_[id] = false;
  MarkDirty(id);
  entries_.MakeUnused(id);
  free_.push(id);
}

void Directory::Rename(uint32_t id, std::u16string_view new_name) {
  const uint32_t storage = slots_[id].parent;
  UnlinkChild(storage, id);
  MarkDirty(id);
  entries_.SetName(id, new_name);
  LinkChild(storage, id);
}

uint32_t Directory::BuildTree(const std::vector<uint32_t>& ids, size_t lo, size_t hi, int depth,
                              int red_depth) {
  if (lo >= hi) return kNoStream;
  const size_t mid = lo + (hi - lo) / 2;
  const uint32_t left = BuildTree(ids, lo, mid, depth + 1, red_depth);
  const uint32_t right = BuildTree(ids, mid + 1, hi, depth + 1, red_depth);
  const uint32_t id = ids[mid];
  for (const uint32_t child : {left, right})
    if (child != kNoStream) slots_[child].tree_parent = id;
  const EntryView e = entries_[id];
  const Color color = depth == red_depth ? Color::kRed : Color::kBlack;
  if (e.left() != left || e.right() != right || e.color() != color) {
    MarkDirty(id);
    entries_.SetTree(id, left, right, color);
  }
  return id;
}

void Directory::RebuildTrees() {
  for (auto& [storage, index] : children_) {
    if (!index.tree_dirty) continue;
    index.tree_dirty = false;
    const std::vector<uint32_t> ids = index.ids.ToVector();
    // Middle splits leave every empty link at one of two depths; the nodes of
    // the deepest level are red unless that level is full, which makes the
    // tree a valid red-black tree.
    const uint64_t n = ids.size();
    const int levels = static_cast<int>(std::bit_width(n));  // ceil(log2(n + 1))
    const bool perfect = std::has_single_bit(n + 1);
    const uint32_t root = BuildTree(ids, 0, ids.size(), 0, perfect ? -1 : levels - 1);
    if (root != kNoStream) slots_[root].tree_parent = kNoStream;
    index.upkeep = TreeUpkeep::kNodeByNode;
    if (entries_[storage].child() != root) {
      MarkDirty(storage);
      entries_.SetChild(storage, root);
    }
  }
}

void Directory::SerializePage(uint32_t page, std::span<uint8_t> out) const {
  for (uint32_t i = 0; i < per_page_; ++i) {
    entries_.Serialize(
        page * per_page_ + i,
        std::span<uint8_t, kDirEntrySize>(out.data() + i * kDirEntrySize, kDirEntrySize));
  }
}

}  // namespace cfb
