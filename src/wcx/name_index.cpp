#include "wcx/name_index.h"

#include <algorithm>

#include "rtl/file_names.h"

namespace wcx {
namespace {

// FNV-1a, folded to 32 bits.
class KeyHasher {
 public:
  void Add(unsigned char byte) { value_ = (value_ ^ byte) * 0x100000001B3ull; }
  uint32_t Value() const { return static_cast<uint32_t>(value_ ^ (value_ >> 32)); }

 private:
  uint64_t value_ = 0xCBF29CE484222325ull;
};

}  // namespace

uint32_t NameKeyHash(std::string_view name) {
  // Most names are ASCII: lower-cased as they are hashed, with no key built.
  KeyHasher hasher;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) {
      KeyHasher full;
      for (const char k : rtl::LowerCaseFileName(name)) full.Add(static_cast<unsigned char>(k));
      return full.Value();
    }
    hasher.Add(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
  }
  return hasher.Value();
}

bool AnyKeyRepeats(size_t count, const std::function<std::string_view(size_t)>& nameAt) {
  std::vector<uint32_t> repeated(count);
  for (size_t i = 0; i < count; ++i) repeated[i] = NameKeyHash(nameAt(i));
  std::sort(repeated.begin(), repeated.end());
  size_t kept = 0;
  for (size_t i = 0; i < count;) {
    size_t end = i + 1;
    while (end < count && repeated[end] == repeated[i]) ++end;
    if (end - i > 1) repeated[kept++] = repeated[i];
    i = end;
  }
  repeated.resize(kept);
  if (repeated.empty()) return false;
  // The names behind a repeated hash, by hash and then by key: a repeated
  // key is then a neighbour.
  std::vector<std::pair<uint32_t, std::string>> keys;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view name = nameAt(i);
    const uint32_t hash = NameKeyHash(name);
    if (std::binary_search(repeated.begin(), repeated.end(), hash))
      keys.emplace_back(hash, rtl::LowerCaseFileName(name));
  }
  std::sort(keys.begin(), keys.end());
  return std::adjacent_find(keys.begin(), keys.end()) != keys.end();
}

void NameIndex::Insert(uint32_t hash, uint32_t position) {
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  size_t i = SlotOf(hash);
  while (slots_[i].position != 0) i = Next(i);
  slots_[i] = {hash, position + 1};
  ++size_;
}

void NameIndex::Erase(uint32_t hash, uint32_t position) {
  if (slots_.empty()) return;
  size_t i = SlotOf(hash);
  for (; slots_[i].position != position + 1; i = Next(i))
    if (slots_[i].position == 0) return;
  // Later slots of the run move up into the hole where their home allows,
  // so that no search stops early at it.
  for (size_t j = Next(i);; j = Next(j)) {
    if (slots_[j].position == 0) break;
    const size_t home = SlotOf(slots_[j].hash);
    const bool between = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (between) continue;
    slots_[i] = slots_[j];
    i = j;
  }
  slots_[i] = Slot{};
  --size_;
}

void NameIndex::CloseGap(uint32_t removed) {
  for (Slot& slot : slots_)
    if (slot.position > removed + 1) --slot.position;
}

void NameIndex::Clear() {
  std::vector<Slot>().swap(slots_);
  size_ = 0;
}

void NameIndex::Grow() {
  std::vector<Slot> old(std::max<size_t>(16, slots_.size() * 2));
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.position == 0) continue;
    size_t i = SlotOf(slot.hash);
    while (slots_[i].position != 0) i = Next(i);
    slots_[i] = slot;
  }
}

}  // namespace wcx
