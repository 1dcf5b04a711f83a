// How large a compound file written afresh would be (Windows): what decides
// whether a copy is worth making before it is made.
#pragma once

#include <objbase.h>

#include <cstdint>

namespace platform::compaction {

// The bytes a fresh copy of `storage` with sectors of `sectorSize` takes, a
// little more rather than less: the streams' sectors and mini sectors, the
// directory, the allocation tables and the header.
HRESULT EstimateCompactedSize(IStorage* storage, uint32_t sectorSize, uint64_t& bytes);

}  // namespace platform::compaction
