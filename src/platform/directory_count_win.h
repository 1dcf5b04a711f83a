// The number of storages and streams a compound file's directory holds, read
// from the file itself (Windows). Wine's enumeration shows one of two
// siblings whose names differ only in case; a copy made from what it shows
// would lose the other, so the copy must reach this count.
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform::compaction {

// Counts the directory's storage and stream entries (the root not among
// them) of the file open at `file`, `fileSize` bytes long, in sectors of
// `sectorSize` bytes. STG_E_DOCFILECORRUPT when the directory's chain does
// not hold together.
HRESULT CountDirectoryElements(HANDLE file, uint32_t sectorSize, uint64_t fileSize,
                               uint64_t& count);

}  // namespace platform::compaction
