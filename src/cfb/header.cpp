#include "cfb/header.h"

#include <algorithm>

#include "cfb/error.h"

namespace cfb {

namespace {
constexpr uint16_t kByteOrderMark = 0xFFFE;
constexpr uint16_t kMiniSectorShift = 6;
}  // namespace

bool HasSignature(std::span<const uint8_t> bytes) {
  return bytes.size() >= kSignature.size() &&
         std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

Header ParseHeader(std::span<const uint8_t, kHeaderSize> bytes) {
  const uint8_t* p = bytes.data();
  if (!HasSignature(bytes)) Fail(Errc::kInvalidHeader, "no compound file signature");
  if (LoadU16(p + 0x1C) != kByteOrderMark) Fail(Errc::kInvalidHeader, "wrong byte order");
  Header h;
  h.minor_version = LoadU16(p + 0x18);
  const uint16_t major = LoadU16(p + 0x1A);
  const uint16_t shift = LoadU16(p + 0x1E);
  if (major == 3 && shift == 9)
    h.version = Version::k3;
  else if (major == 4 && shift == 12)
    h.version = Version::k4;
  else
    Fail(Errc::kInvalidHeader, "unsupported version or sector size");
  if (LoadU16(p + 0x20) != kMiniSectorShift) Fail(Errc::kInvalidHeader, "wrong mini sector size");
  if (LoadU32(p + 0x38) != kMiniStreamCutoff) Fail(Errc::kInvalidHeader, "wrong mini stream cutoff");
  h.dir_sector_count = LoadU32(p + 0x28);
  h.fat_sector_count = LoadU32(p + 0x2C);
  h.first_dir_sector = LoadU32(p + 0x30);
  h.first_minifat_sector = LoadU32(p + 0x3C);
  h.minifat_sector_count = LoadU32(p + 0x40);
  h.first_difat_sector = LoadU32(p + 0x44);
  h.difat_sector_count = LoadU32(p + 0x48);
  for (uint32_t i = 0; i < kHeaderDifatCount; ++i) h.difat[i] = LoadU32(p + 0x4C + 4 * i);
  return h;
}

void SerializeHeader(const Header& h, std::span<uint8_t, kHeaderSize> bytes) {
  uint8_t* p = bytes.data();
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  std::copy(kSignature.begin(), kSignature.end(), p);
  StoreU16(p + 0x18, h.minor_version);
  StoreU16(p + 0x1A, static_cast<uint16_t>(h.version));
  StoreU16(p + 0x1C, kByteOrderMark);
  StoreU16(p + 0x1E, static_cast<uint16_t>(SectorShift(h.version)));
  StoreU16(p + 0x20, kMiniSectorShift);
  StoreU32(p + 0x28, h.version == Version::k3 ? 0 : h.dir_sector_count);
  StoreU32(p + 0x2C, h.fat_sector_count);
  StoreU32(p + 0x30, h.first_dir_sector);
  StoreU32(p + 0x34, 0);  // transaction signature
  StoreU32(p + 0x38, kMiniStreamCutoff);
  StoreU32(p + 0x3C, h.first_minifat_sector);
  StoreU32(p + 0x40, h.minifat_sector_count);
  StoreU32(p + 0x44, h.first_difat_sector);
  StoreU32(p + 0x48, h.difat_sector_count);
  for (uint32_t i = 0; i < kHeaderDifatCount; ++i) StoreU32(p + 0x4C + 4 * i, h.difat[i]);
}

}  // namespace cfb
