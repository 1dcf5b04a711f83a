// The 512-byte file header: where every other structure starts. Writing it
// is the commit point of a change.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "cfb/format.h"

namespace cfb {

struct Header {
  uint16_t minor_version = 0x003E;
  Version version = Version::k3;
  uint32_t dir_sector_count = 0;
  uint32_t fat_sector_count = 0;
  uint32_t first_dir_sector = kEndOfChain;
  uint32_t first_minifat_sector = kEndOfChain;
  uint32_t minifat_sector_count = 0;
  uint32_t first_difat_sector = kEndOfChain;
  uint32_t difat_sector_count = 0;
  std::array<uint32_t, kHeaderDifatCount> difat;

  Header() { difat.fill(kFreeSect); }
  uint32_t sector_size() const { return SectorSize(version); }
};

bool HasSignature(std::span<const uint8_t> bytes);
// Throws kInvalidHeader for a header that no reader accepts: wrong
// signature, byte order, sector shift, mini sector shift or cutoff. The
// minor version and the counts are not checked; the structures are.
Header ParseHeader(std::span<const uint8_t, kHeaderSize> bytes);
void SerializeHeader(const Header& header, std::span<uint8_t, kHeaderSize> bytes);

}  // namespace cfb
