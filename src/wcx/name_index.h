// A folder's children by name key, for the look-ups that keep display names
// unique. The chains run through the children themselves (TqorWCXFile's
// index fields), so that linking each entry of a large listing allocates
// nothing.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace wcx {

class TqorWCXFile;

class NameIndex {
 public:
  TqorWCXFile* Find(std::string_view key) const;
  // The child's key (FNameKey) must not be in the index yet: display names
  // are unique among siblings. The key must not change while it is in.
  void Insert(TqorWCXFile* child);
  // Takes the child out, if it is in.
  void Erase(TqorWCXFile* child);
  void Clear();

 private:
  size_t BucketOf(size_t hash) const { return hash & (buckets_.size() - 1); }
  void Rehash(size_t bucketCount);

  std::vector<TqorWCXFile*> buckets_;  // a power of two of them, or none
  size_t size_ = 0;
};

}  // namespace wcx
