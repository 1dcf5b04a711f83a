// Constants of the compound file format and little-endian field access.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace cfb {

inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
// Not an id: a name that several siblings bear exactly (damaged files).
inline constexpr uint32_t kAmbiguous = 0xFFFFFFFB;

inline constexpr uint32_t kHeaderSize = 512;
inline constexpr uint32_t kHeaderDifatCount = 109;
inline constexpr uint32_t kDirEntrySize = 128;
// Where an entry keeps its class, within its 128 bytes.
inline constexpr uint32_t kDirEntryClassOffset = 0x50;
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kMiniStreamCutoff = 4096;
inline constexpr uint32_t kMaxNameLength = 31;  // UTF-16 units, terminator excluded

inline constexpr std::array<uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                      0xA1, 0xB1, 0x1A, 0xE1};

enum class Version : uint16_t { k3 = 3, k4 = 4 };

inline constexpr uint32_t SectorShift(Version v) { return v == Version::k3 ? 9 : 12; }
inline constexpr uint32_t SectorSize(Version v) { return 1u << SectorShift(v); }

// How many sectors a file may have. A v3 file stays below 2 GB; a v4 file
// keeps the sector under the range-lock bytes 0x7FFFFF00-0x7FFFFFFF.
inline constexpr uint32_t MaxSectors(Version v) {
  return v == Version::k3 ? 0x7FFFFE00u / 512 - 1 : kMaxRegSect + 1;
}
inline constexpr uint32_t kRangeLockSectorV4 = 0x7FFFFF00u / 4096 - 1;

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint64_t LoadU64(const uint8_t* p) { return LoadU32(p) | uint64_t{LoadU32(p + 4)} << 32; }
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(uint8_t* p, uint64_t v) {
  StoreU32(p, static_cast<uint32_t>(v));
  StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Without the overflow of (a + b - 1) / b, which sizes read from a file can reach.
inline constexpr uint64_t DivCeil(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

}  // namespace cfb
