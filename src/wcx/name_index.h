// A folder's children by the hash of their name key, for the look-ups that
// keep display names unique and that find the entries a host names. A slot
// holds a hash and a position, 8 bytes and no key: the folder confirms a
// matching hash against the child's own name. Linking an entry of a large
// listing then touches one slot and allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace wcx {

// The hash of a display name's key: the name lower-cased as
// rtl::LowerCaseFileName does, so names that differ only in case hash alike.
uint32_t NameKeyHash(std::string_view name);

// Whether two of count names (nameAt(0) ... nameAt(count - 1)) have the same
// key. Done once over a whole folder, it costs 4 bytes a name and no probe
// of a hash table per name; keys are compared only where hashes repeat.
bool AnyKeyRepeats(size_t count, const std::function<std::string_view(size_t)>& nameAt);

class NameIndex {
 public:
  // The position of an entry of that hash that sameKey(position) confirms,
  // or -1.
  template <class SameKey>
  int64_t Find(uint32_t hash, const SameKey& sameKey) const {
    if (slots_.empty()) return -1;
    for (size_t i = SlotOf(hash); slots_[i].position != 0; i = Next(i))
      if (slots_[i].hash == hash && sameKey(slots_[i].position - 1)) return slots_[i].position - 1;
    return -1;
  }
  void Insert(uint32_t hash, uint32_t position);
  // Takes the entry out, if it is in.
  void Erase(uint32_t hash, uint32_t position);
  // Every position past removed moves down by one, as the sibling list does
  // when an entry leaves its middle.
  void CloseGap(uint32_t removed);
  void Clear();
  bool Empty() const { return size_ == 0; }

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t position = 0;  // plus one; 0 for a free slot
  };
  size_t SlotOf(uint32_t hash) const { return hash & (slots_.size() - 1); }
  size_t Next(size_t i) const { return (i + 1) & (slots_.size() - 1); }
  void Grow();

  std::vector<Slot> slots_;  // a power of two of them, at most half in use; or none
  size_t size_ = 0;
};

}  // namespace wcx
