// The ids of one storage's children in sibling-tree order, kept in blocks of
// at most a few thousand: adding or removing a child moves the ids of one
// block only. In one sorted vector, a million children added in an order
// other than the tree's (names of mixed lengths in a host's alphabetical
// order) cost a million moves each.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cfb/format.h"

namespace cfb {

class ChildOrder {
 public:
  // A place in the order; past the end when its block is.
  struct Cursor {
    size_t block = 0;
    size_t index = 0;
  };

  size_t size() const { return size_; }
  // ids: already in order.
  void Assign(const std::vector<uint32_t>& ids) {
    blocks_.clear();
    for (size_t at = 0; at < ids.size(); at += kHalfBlock)
      blocks_.emplace_back(ids.begin() + static_cast<std::ptrdiff_t>(at),
                           ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), at + kHalfBlock)));
    size_ = ids.size();
  }
  std::vector<uint32_t> ToVector() const {
    std::vector<uint32_t> ids;
    ids.reserve(size_);
    for (const std::vector<uint32_t>& block : blocks_) ids.insert(ids.end(), block.begin(), block.end());
    return ids;
  }

  // The first id for which below(id) is false; the ids must be partitioned
  // by below.
  template <class Below>
  Cursor LowerBound(Below below) const {
    const auto block = std::partition_point(blocks_.begin(), blocks_.end(),
                                            [&](const std::vector<uint32_t>& b) { return below(b.back()); });
    if (block == blocks_.end()) return Cursor{blocks_.size(), 0};
    const auto at = std::partition_point(block->begin(), block->end(), below);
    return Cursor{static_cast<size_t>(block - blocks_.begin()), static_cast<size_t>(at - block->begin())};
  }
  // The id at a place, kNoStream past the end.
  uint32_t At(Cursor at) const { return at.block < blocks_.size() ? blocks_[at.block][at.index] : kNoStream; }
  Cursor Next(Cursor at) const {
    return ++at.index < blocks_[at.block].size() ? at : Cursor{at.block + 1, 0};
  }
  // The id just before a place, kNoStream at the start.
  uint32_t Before(Cursor at) const {
    if (at.index > 0) return blocks_[at.block][at.index - 1];
    return at.block > 0 ? blocks_[at.block - 1].back() : kNoStream;
  }

  // The ids on either side of one, kNoStream at an end.
  struct Neighbours {
    uint32_t before = kNoStream;
    uint32_t after = kNoStream;
  };

  // After the ids that are not after it by less; returns its neighbours there.
  template <class Less>
  Neighbours Insert(uint32_t id, Less less) {
    return InsertAt(LowerBound([&](uint32_t other) { return !less(id, other); }), id);
  }
  // At a place LowerBound found, the order unchanged since.
  Neighbours InsertAt(Cursor at, uint32_t id) {
    ++size_;
    if (blocks_.empty()) {
      blocks_.push_back({id});
      return {};
    }
    if (at.block == blocks_.size()) at = Cursor{at.block - 1, blocks_.back().size()};
    const auto block = blocks_.begin() + static_cast<std::ptrdiff_t>(at.block);
    const auto placed = block->insert(block->begin() + static_cast<std::ptrdiff_t>(at.index), id);
    Neighbours sides;
    if (placed != block->begin())
      sides.before = *std::prev(placed);
    else if (block != blocks_.begin())
      sides.before = std::prev(block)->back();
    if (std::next(placed) != block->end())
      sides.after = *std::next(placed);
    else if (std::next(block) != blocks_.end())
      sides.after = std::next(block)->front();
    if (block->size() > 2 * kHalfBlock) {
      std::vector<uint32_t> upper(block->begin() + kHalfBlock, block->end());
      block->resize(kHalfBlock);
      blocks_.insert(block + 1, std::move(upper));
    }
    return sides;
  }
  // less must order every two ids of the order.
  // Whether id was there.
  template <class Less>
  bool Erase(uint32_t id, Less less) {
    const Cursor at = LowerBound([&](uint32_t other) { return less(other, id); });
    if (At(at) != id) return false;
    std::vector<uint32_t>& block = blocks_[at.block];
    block.erase(block.begin() + static_cast<std::ptrdiff_t>(at.index));
    if (block.empty()) blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(at.block));
    --size_;
    return true;
  }

 private:
  static constexpr size_t kHalfBlock = 1024;
  std::vector<std::vector<uint32_t>> blocks_;
  size_t size_ = 0;
};

}  // namespace cfb
