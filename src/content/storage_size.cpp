#include "content/storage_size.h"

#include <limits>

namespace content {
namespace {

// Sizes come from the file: a sum that would overflow stays at the maximum.
void AddSaturating(uint64_t& total, uint64_t size) {
  total = size > std::numeric_limits<uint64_t>::max() - total ? std::numeric_limits<uint64_t>::max()
                                                              : total + size;
}

}  // namespace

uint64_t StreamBytesWithin(StorageReader& storage, const std::vector<ChildElement>& children,
                           int depth, ViewCollector& collector) {
  uint64_t total = 0;
  for (const auto& child : children) {
    if (child.kind == ElementKind::kStream) {
      AddSaturating(total, child.size);
      continue;
    }
    if (depth >= collector.limits().maxDepth || !collector.MayOpenStorage()) continue;
    if (auto sub = storage.OpenStorage(child.name))
      AddSaturating(total, StreamBytesWithin(*sub, sub->Children(collector.limits().maxChildren),
                                             depth + 1, collector));
  }
  return total;
}

}  // namespace content
