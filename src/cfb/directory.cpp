#include "cfb/directory.h"

#include <bit>
#include <iterator>

#include "cfb/error.h"

namespace cfb {

DirEntry UnusedEntry() {
  DirEntry e;
  e.color = Color::kRed;  // all zero but the ids
  e.start = 0;
  return e;
}

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

// Order of an entry's name against a probe: siblings' order, then, for an
// exact probe, the exact name.
int CompareToProbe(std::u16string_view name, std::u16string_view probe, bool exact) {
  if (const int order = CompareAsSiblings(name, probe); order != 0 || !exact) return order;
  return name.compare(probe);
}

}  // namespace

bool Directory::ChildOrder::operator()(uint32_t a, uint32_t b) const {
  const std::u16string& na = dir->entries_[a].name;
  const std::u16string& nb = dir->entries_[b].name;
  if (const int order = CompareToProbe(na, nb, true); order != 0) return order < 0;
  return a < b;
}

bool Directory::ChildOrder::operator()(uint32_t a, const NameProbe& b) const {
  return CompareToProbe(dir->entries_[a].name, b.name, b.match == Match::kExactName) < 0;
}

bool Directory::ChildOrder::operator()(const NameProbe& a, uint32_t b) const {
  return CompareToProbe(dir->entries_[b].name, a.name, a.match == Match::kExactName) > 0;
}

void Directory::Reset(uint32_t entries_per_page) {
  per_page_ = entries_per_page;
  entries_.clear();
  meta_.clear();
  free_.clear();
  dirty_.clear();
}

void Directory::AddSlots() {
  const uint32_t first = size();
  entries_.resize(first + per_page_, UnusedEntry());
  meta_.resize(first + per_page_);
  dirty_.resize(page_count(), true);
  for (uint32_t id = first; id < size(); ++id) free_.insert(id);
}

void Directory::InitEmpty() {
  entries_.clear();
  meta_.clear();
  free_.clear();
  dirty_.clear();
  AddSlots();
  free_.erase(kRootId);
  DirEntry& root = entries_[kRootId];
  root = DirEntry{};
  root.name = u"Root Entry";
  root.type = EntryType::kRoot;
  root.start = kEndOfChain;
  meta_[kRootId].stamp = next_stamp_++;
  meta_[kRootId].children = NewIndex();
  MarkAllDirty();
}

void Directory::Load(std::vector<DirEntry> entries, uint32_t entries_per_page) {
  per_page_ = entries_per_page;
  if (entries.empty() || entries.size() % per_page_ != 0) Corrupt("directory size");
  const DirEntry& root = entries[kRootId];
  if (root.type != EntryType::kRoot && root.type != EntryType::kStorage)
    Corrupt("the first directory entry is not the root");
  entries_ = std::move(entries);
  meta_.clear();
  meta_.resize(entries_.size());
  free_.clear();
  dirty_.assign(page_count(), false);

  std::vector<bool> reached(entries_.size(), false);
  reached[kRootId] = true;
  meta_[kRootId].stamp = next_stamp_++;
  meta_[kRootId].children = NewIndex();
  std::vector<uint32_t> storages{kRootId};
  std::vector<uint32_t> left_spine;
  auto reach = [&](uint32_t id) {
    if (id >= entries_.size()) Corrupt("directory id out of range");
    if (reached[id]) Corrupt("directory entry reached twice");
    reached[id] = true;
    const EntryType type = entries_[id].type;
    if (type != EntryType::kStorage && type != EntryType::kStream)
      Corrupt("unused or root entry inside a sibling tree");
  };
  while (!storages.empty()) {
    const uint32_t storage = storages.back();
    storages.pop_back();
    ChildIndex& index = *meta_[storage].children;
    // In order: a well-formed tree's children come sorted and join the
    // index at its end, at the cost of one comparison each.
    for (uint32_t next = entries_[storage].child; next != kNoStream || !left_spine.empty();) {
      for (; next != kNoStream; next = entries_[next].left) {
        reach(next);
        left_spine.push_back(next);
      }
      const uint32_t id = left_spine.back();
      left_spine.pop_back();
      next = entries_[id].right;
      const DirEntry& e = entries_[id];
      index.insert(index.end(), id);
      Meta& m = meta_[id];
      m.parent = storage;
      m.stamp = next_stamp_++;
      if (e.type == EntryType::kStorage) {
        m.children = NewIndex();
        storages.push_back(id);
      }
    }
  }
  for (uint32_t id = 0; id < size(); ++id) {
    if (reached[id]) continue;
    // Unreachable entries in use keep their sectors; only unused ones are reused.
    if (entries_[id].type == EntryType::kUnused) free_.insert(id);
  }
}

DirEntry& Directory::Modify(uint32_t id) {
  dirty_[id / per_page_] = true;
  return entries_[id];
}

uint32_t Directory::Find(uint32_t storage, std::u16string_view name) const {
  const ChildIndex& index = *meta_[storage].children;
  // Not equal_range: for a transparent comparator it walks every element of
  // the range, and a damaged file may give thousands of siblings one name.
  const auto bears = [&](ChildIndex::const_iterator it) {
    return it != index.end() && CompareToProbe(entries_[*it].name, name, true) == 0;
  };
  if (auto exact = index.lower_bound(NameProbe{name, Match::kExactName}); bears(exact))
    return bears(std::next(exact)) ? kAmbiguous : *exact;
  auto same_key = index.find(NameProbe{name, Match::kAnyCase});
  return same_key != index.end() ? *same_key : kNoStream;
}

std::vector<uint32_t> Directory::Children(uint32_t storage) const {
  const ChildIndex& index = *meta_[storage].children;
  return {index.begin(), index.end()};
}

size_t Directory::ChildCount(uint32_t storage) const { return meta_[storage].children->size(); }

void Directory::LinkChild(uint32_t storage, uint32_t id) {
  meta_[storage].children->insert(id);
  meta_[storage].tree_dirty = true;
  meta_[id].parent = storage;
}

void Directory::UnlinkChild(uint32_t storage, uint32_t id) {
  meta_[storage].children->erase(id);
  meta_[storage].tree_dirty = true;
}

uint32_t Directory::Insert(uint32_t storage, DirEntry entry) {
  if (free_.empty()) AddSlots();
  const uint32_t id = *free_.begin();
  free_.erase(free_.begin());
  const bool is_storage = entry.is_storage();
  Modify(id) = std::move(entry);
  meta_[id].stamp = next_stamp_++;
  if (is_storage) meta_[id].children = NewIndex();
  LinkChild(storage, id);
  return id;
}

void Directory::Erase(uint32_t id) {
  Meta& m = meta_[id];
  if (m.parent != kNoStream) UnlinkChild(m.parent, id);
  m = Meta{};
  Modify(id) = UnusedEntry();
  free_.insert(id);
}

void Directory::Rename(uint32_t id, std::u16string_view new_name) {
  const uint32_t storage = meta_[id].parent;
  UnlinkChild(storage, id);
  Modify(id).name = std::u16string(new_name);
  LinkChild(storage, id);
}

uint32_t Directory::BuildTree(const std::vector<uint32_t>& ids, size_t lo, size_t hi, int depth,
                              int red_depth) {
  if (lo >= hi) return kNoStream;
  const size_t mid = lo + (hi - lo) / 2;
  const uint32_t left = BuildTree(ids, lo, mid, depth + 1, red_depth);
  const uint32_t right = BuildTree(ids, mid + 1, hi, depth + 1, red_depth);
  const uint32_t id = ids[mid];
  const DirEntry& e = entries_[id];
  const Color color = depth == red_depth ? Color::kRed : Color::kBlack;
  if (e.left != left || e.right != right || e.color != color) {
    DirEntry& m = Modify(id);
    m.left = left;
    m.right = right;
    m.color = color;
  }
  return id;
}

void Directory::RebuildTrees() {
  for (uint32_t storage = 0; storage < size(); ++storage) {
    Meta& m = meta_[storage];
    if (!m.tree_dirty || m.stamp == 0) continue;
    m.tree_dirty = false;
    const std::vector<uint32_t> ids = Children(storage);
    // Middle splits leave every empty link at one of two depths; the nodes of
    // the deepest level are red unless that level is full, which makes the
    // tree a valid red-black tree.
    const uint64_t n = ids.size();
    const int levels = static_cast<int>(std::bit_width(n));  // ceil(log2(n + 1))
    const bool perfect = std::has_single_bit(n + 1);
    const uint32_t root = BuildTree(ids, 0, ids.size(), 0, perfect ? -1 : levels - 1);
    if (entries_[storage].child != root) Modify(storage).child = root;
  }
}

void Directory::SerializePage(uint32_t page, std::span<uint8_t> out) const {
  for (uint32_t i = 0; i < per_page_; ++i) {
    SerializeDirEntry(
        entries_[page * per_page_ + i],
        std::span<uint8_t, kDirEntrySize>(out.data() + i * kDirEntrySize, kDirEntrySize));
  }
}

}  // namespace cfb
