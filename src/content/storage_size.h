// The size a copy of a storage will have, for the listing: the sum of the
// streams inside, as far as the search's limits reach.
#pragma once

#include <cstdint>
#include <vector>

#include "content/storage_reader.h"
#include "content/view_collector.h"

namespace content {

uint64_t StreamBytesWithin(StorageReader& storage, const std::vector<ChildElement>& children,
                           int depth, ViewCollector& collector);

}  // namespace content
