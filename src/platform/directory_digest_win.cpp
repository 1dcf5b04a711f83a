#include "platform/directory_digest_win.h"

#include <objbase.h>

#include <vector>

#include "cfb/dir_entry.h"
#include "cfb/format.h"

namespace platform::compaction {
namespace {

constexpr uint64_t kFirstDirectorySectorOffset = 0x30;
constexpr uint64_t kFirstDifatSectorOffset = 0x44;
constexpr uint64_t kDifatSectorCountOffset = 0x48;
constexpr uint64_t kHeaderDifatOffset = 0x4C;
constexpr uint32_t kNameBytes = 64;
constexpr uint32_t kNameLengthOffset = 0x40;
constexpr uint32_t kTypeOffset = 0x42;
constexpr uint32_t kClassOffset = 0x50;
constexpr uint32_t kTimesEnd = 0x74;  // class id, state bits, creation and modification times
constexpr uint32_t kSizeOffset = 0x78;
constexpr uint32_t kStateBitsEnd = 0x64;

cfb::EntryType TypeOf(const uint8_t* entry) { return cfb::EntryType{entry[kTypeOffset]}; }

// Above the last sector a chain may name: the special values.
bool IsSpecial(uint32_t sector) { return sector >= cfb::kMaxRegSect; }

uint64_t Fnv1a(uint64_t hash, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
  return hash;
}

// Spreads a hash over all its bits, so that sums of them stay distinct.
uint64_t Mix(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The name ends at its terminator: Wine's rename leaves the old length, and
// the old name's tail behind it.
uint32_t NameBytes(const uint8_t* entry) {
  uint32_t length = cfb::LoadU16(entry + kNameLengthOffset);
  length = length >= 2 && length <= kNameBytes ? (length - 2) & ~1u : 0;
  for (uint32_t at = 0; at < length; at += 2)
    if (entry[at] == 0 && entry[at + 1] == 0) return at;
  return length;
}

// Files with 512-byte sectors hold sizes in 32 bits; the rest of the field
// may be anything.
uint64_t EntryHash(const uint8_t* entry, uint32_t sectorSize) {
  uint64_t hash = 0xCBF29CE484222325ull;
  hash = Fnv1a(hash, entry, NameBytes(entry));
  hash = Fnv1a(hash, entry + kTypeOffset, 1);
  const cfb::EntryType type = TypeOf(entry);
  if (type == cfb::EntryType::kStorage)
    hash = Fnv1a(hash, entry + kClassOffset, kTimesEnd - kClassOffset);
  if (type == cfb::EntryType::kRoot)
    hash = Fnv1a(hash, entry + kClassOffset, kStateBitsEnd - kClassOffset);
  if (type == cfb::EntryType::kStream) {
    uint64_t size = cfb::LoadU64(entry + kSizeOffset);
    if (sectorSize == 512) size &= 0xFFFFFFFFu;
    hash = Fnv1a(hash, reinterpret_cast<const uint8_t*>(&size), sizeof size);
  }
  return Mix(hash);
}

class SectorReader {
 public:
  SectorReader(HANDLE file, uint32_t sectorSize, uint64_t fileSize)
      : file_(file), sectorSize_(sectorSize), fileSize_(fileSize) {}

  HRESULT ReadAt(uint64_t offset, void* data, DWORD length) const {
    if (offset > fileSize_ || fileSize_ - offset < length) return STG_E_DOCFILECORRUPT;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file_, data, length, &read, &at)) return HRESULT_FROM_WIN32(GetLastError());
    return read == length ? S_OK : STG_E_READFAULT;
  }

  HRESULT ReadU32(uint64_t offset, uint32_t& value) const {
    return ReadAt(offset, &value, sizeof value);
  }

  HRESULT ReadSector(uint32_t sector, std::vector<uint8_t>& data) const {
    if (IsSpecial(sector)) return STG_E_DOCFILECORRUPT;
    data.resize(sectorSize_);
    return ReadAt(SectorOffset(sector), data.data(), sectorSize_);
  }

  // The allocation table's sectors: listed in the header, then in a chain
  // of sectors that each end with the next one's number.
  HRESULT LoadFatSectors() {
    fatSectors_.resize(cfb::kHeaderDifatCount);
    HRESULT hr = ReadAt(kHeaderDifatOffset, fatSectors_.data(), cfb::kHeaderDifatCount * 4);
    uint32_t difat = 0, difatCount = 0;
    if (SUCCEEDED(hr)) hr = ReadU32(kFirstDifatSectorOffset, difat);
    if (SUCCEEDED(hr)) hr = ReadU32(kDifatSectorCountOffset, difatCount);
    if (FAILED(hr)) return hr;
    if (difatCount > SectorCount()) return STG_E_DOCFILECORRUPT;
    std::vector<uint32_t> entries(EntriesPerSector());
    for (uint32_t i = 0; i < difatCount; ++i) {
      if (IsSpecial(difat)) return STG_E_DOCFILECORRUPT;
      hr = ReadAt(SectorOffset(difat), entries.data(), sectorSize_);
      if (FAILED(hr)) return hr;
      fatSectors_.insert(fatSectors_.end(), entries.begin(), entries.end() - 1);
      difat = entries.back();
    }
    return S_OK;
  }

  // The sector after `sector` in its chain, through the allocation table.
  HRESULT Next(uint32_t sector, uint32_t& next) const {
    const uint32_t index = sector / EntriesPerSector();
    if (IsSpecial(sector) || index >= fatSectors_.size()) return STG_E_DOCFILECORRUPT;
    const uint32_t fatSector = fatSectors_[index];
    if (IsSpecial(fatSector)) return STG_E_DOCFILECORRUPT;
    return ReadU32(SectorOffset(fatSector) + uint64_t{sector % EntriesPerSector()} * 4, next);
  }

  uint64_t SectorCount() const { return fileSize_ / sectorSize_; }

 private:
  uint32_t EntriesPerSector() const { return sectorSize_ / 4; }
  uint64_t SectorOffset(uint32_t sector) const { return (uint64_t{sector} + 1) * sectorSize_; }

  HANDLE file_;
  uint32_t sectorSize_;
  uint64_t fileSize_;
  std::vector<uint32_t> fatSectors_;
};

}  // namespace

HRESULT DigestDirectory(HANDLE file, uint32_t sectorSize, uint64_t fileSize,
                        DirectoryDigest& digest) {
  SectorReader reader(file, sectorSize, fileSize);
  uint32_t sector = 0;
  HRESULT hr = reader.LoadFatSectors();
  if (SUCCEEDED(hr)) hr = reader.ReadU32(kFirstDirectorySectorOffset, sector);
  if (FAILED(hr)) return hr;
  digest = {};
  std::vector<uint8_t> data;
  // A chain longer than the file has sectors runs in a circle.
  for (uint64_t steps = 0; sector != cfb::kEndOfChain; ++steps) {
    if (steps > reader.SectorCount()) return STG_E_DOCFILECORRUPT;
    hr = reader.ReadSector(sector, data);
    if (FAILED(hr)) return hr;
    for (uint32_t offset = 0; offset < sectorSize; offset += cfb::kDirEntrySize) {
      const uint8_t* entry = data.data() + offset;
      if (TypeOf(entry) == cfb::EntryType::kUnused) continue;
      const uint64_t hash = EntryHash(entry, sectorSize);
      ++digest.entries;
      digest.sum += hash;
      digest.mixed += Mix(hash ^ 0x9E3779B97F4A7C15ull);
    }
    hr = reader.Next(sector, sector);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace platform::compaction
