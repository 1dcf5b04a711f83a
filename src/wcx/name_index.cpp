#include "wcx/name_index.h"

#include <algorithm>
#include <functional>

#include "wcx/archive_tree.h"

namespace wcx {
namespace {

size_t HashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }

}  // namespace

TqorWCXFile* NameIndex::Find(std::string_view key) const {
  if (buckets_.empty()) return nullptr;
  const size_t hash = HashOf(key);
  for (TqorWCXFile* node = buckets_[BucketOf(hash)]; node; node = node->FNextInIndex)
    if (node->FKeyHash == hash && node->FNameKey == key) return node;
  return nullptr;
}

void NameIndex::Insert(TqorWCXFile* child) {
  if (size_ >= buckets_.size()) Rehash(std::max<size_t>(16, buckets_.size() * 2));
  child->FKeyHash = HashOf(child->FNameKey);
  TqorWCXFile*& head = buckets_[BucketOf(child->FKeyHash)];
  child->FNextInIndex = head;
  head = child;
  ++size_;
}

void NameIndex::Erase(TqorWCXFile* child) {
  if (buckets_.empty()) return;
  for (TqorWCXFile** link = &buckets_[BucketOf(child->FKeyHash)]; *link;
       link = &(*link)->FNextInIndex) {
    if (*link == child) {
      *link = child->FNextInIndex;
      child->FNextInIndex = nullptr;
      --size_;
      return;
    }
  }
}

void NameIndex::Clear() {
  std::vector<TqorWCXFile*>().swap(buckets_);
  size_ = 0;
}

void NameIndex::Rehash(size_t bucketCount) {
  std::vector<TqorWCXFile*> old(bucketCount, nullptr);
  old.swap(buckets_);
  for (TqorWCXFile* node : old) {
    while (node) {
      TqorWCXFile* next = node->FNextInIndex;
      TqorWCXFile*& head = buckets_[BucketOf(node->FKeyHash)];
      node->FNextInIndex = head;
      head = node;
      node = next;
    }
  }
}

}  // namespace wcx
