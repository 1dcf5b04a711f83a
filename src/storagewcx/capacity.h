// Whether a compound file can take more content. Files with 512-byte sectors
// address at most 2 GB; more needs 4096-byte sectors, which are chosen when
// a new file is made and cannot be had by an existing one.
#pragma once

#include <cstdint>
#include <string>

namespace storagewcx {

// Whether a file of fileSize bytes with 512-byte sectors stays within their
// reach when bytesToAdd more bytes go in, with the tables that describe them.
bool FitsSmallSectors(uint64_t fileSize, uint64_t bytesToAdd);

// The sector size and length of an existing compound file, read from its
// header; a sector size of 0 when the file cannot be read.
struct CompoundFileSize {
  uint32_t sectorSize = 0;
  uint64_t bytes = 0;
};
CompoundFileSize SizeOfCompoundFile(const std::string& fileName);

}  // namespace storagewcx
