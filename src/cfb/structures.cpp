// Every sector number is range-checked, every chain is walked once with a
// record of the sectors already claimed (which catches cycles and shared
// sectors alike), and memory grows only with the file's real length.
#include "cfb/structures.h"

#include <algorithm>
#include <functional>
#include <new>
#include <span>

#include "cfb/error.h"

namespace cfb {

namespace {

// Sectors claimed so far by some structure.
class SectorClaims {
 public:
  explicit SectorClaims(uint64_t sectors) : claimed_(sectors, 0) {}
  uint64_t size() const { return claimed_.size(); }
  bool TryClaim(uint32_t sector) {
    if (sector >= claimed_.size() || claimed_[sector]) return false;
    claimed_[sector] = 1;
    return true;
  }
  void Claim(uint32_t sector) {
    if (sector >= claimed_.size()) Corrupt("sector number out of range");
    if (claimed_[sector]) Corrupt("sector used twice");
    claimed_[sector] = 1;
  }
  bool IsClaimed(uint64_t sector) const { return sector < claimed_.size() && claimed_[sector]; }

 private:
  std::vector<uint8_t> claimed_;  // bytes: one test and set per sector of every chain
};

// Walks a chain of known length, claiming its sectors. False when the chain
// ends early, leaves the table, or meets a claimed sector.
bool WalkChain(const AllocationTable& table, uint32_t start, uint64_t count, SectorClaims& claims) {
  uint32_t s = start;
  for (uint64_t i = 0; i < count; ++i) {
    if (s >= table.size() || !claims.TryClaim(s)) return false;
    s = table.Get(s);
  }
  return true;
}

// A chain of unknown length that ends with ENDOFCHAIN (or FREESECT, which
// some writers use for "none").
std::vector<uint32_t> WalkOpenChain(const AllocationTable& table, uint32_t start,
                                    SectorClaims& claims) {
  std::vector<uint32_t> chain;
  for (uint32_t s = start; s != kEndOfChain && s != kFreeSect; s = table.Get(s)) {
    claims.Claim(s);
    chain.push_back(s);
  }
  return chain;
}

class SectorReader {
 public:
  SectorReader(const ByteSource& file, uint32_t sector_size) : file_(file), ss_(sector_size) {}

  uint64_t Offset(uint32_t sector) const { return (uint64_t{sector} + 1) * ss_; }

  // Hands the sectors' bytes to consume in pieces of whole sectors (first
  // index, bytes), one read per run of consecutive sectors; zeros where the
  // file ends early.
  void ReadSectors(const std::vector<uint32_t>& sectors,
                   const std::function<void(size_t, std::span<const uint8_t>)>& consume) const {
    const uint32_t ss = ss_;
    // A piece at a time: the buffer stays small and warm however large the
    // structure is.
    const size_t per_piece = std::max<size_t>(1, (1u << 20) / ss);
    std::vector<uint8_t> piece(std::min(per_piece, sectors.size()) * ss);
    for (size_t i = 0; i < sectors.size();) {
      size_t end = i + 1;
      while (end < sectors.size() && end - i < per_piece && sectors[end] == sectors[end - 1] + 1)
        ++end;
      const uint64_t want = (end - i) * uint64_t{ss};
      const uint64_t got = file_.ReadAt(Offset(sectors[i]), piece.data(), want);
      std::fill(piece.begin() + static_cast<ptrdiff_t>(got),
                piece.begin() + static_cast<ptrdiff_t>(want), uint8_t{0});
      consume(i, std::span<const uint8_t>(piece.data(), want));
      i = end;
    }
  }

  std::vector<uint32_t> ReadTable(const std::vector<uint32_t>& sectors) const {
    const uint32_t per = ss_ / 4;
    // A 32-bit build would cut the count of a huge table, and then write
    // past what it allocated.
    const uint64_t count = sectors.size() * uint64_t{per};
    if (count > std::vector<uint32_t>().max_size()) throw std::bad_alloc();
    std::vector<uint32_t> entries(static_cast<size_t>(count));
    ReadSectors(sectors, [&](size_t first, std::span<const uint8_t> bytes) {
      for (size_t i = 0; i < bytes.size() / 4; ++i)
        entries[first * per + i] = LoadU32(bytes.data() + 4 * i);
    });
    return entries;
  }

 private:
  const ByteSource& file_;
  uint32_t ss_;
};

}  // namespace

void ReadStructures(const ByteSource& file, FileStructures& out, Directory& dir) {
  const uint64_t file_size = file.Size();
  uint8_t* raw = out.header_bytes.data();
  std::fill(out.header_bytes.begin(), out.header_bytes.end(), uint8_t{0});
  const uint64_t got = file.ReadAt(0, raw, kHeaderSize);
  if (!HasSignature(std::span<const uint8_t>(raw, got)))
    Fail(Errc::kNotCompoundFile, "not a compound file");
  if (got < kHeaderSize) Fail(Errc::kInvalidHeader, "truncated header");
  out.header = ParseHeader(out.header_bytes);
  const Header& header = out.header;
  const uint32_t ss = header.sector_size();
  const SectorReader reader(file, ss);
  const uint32_t per_sector = ss / 4;
  const uint64_t sectors = file_size > ss ? DivCeil(file_size - ss, ss) : 0;
  if (sectors > kMaxRegSect) Corrupt("file too large");
  SectorClaims claims(sectors);

  // FAT sectors from the header, then from the DIFAT chain.
  std::vector<uint32_t>& fat_pages = out.fat_pages;
  std::vector<uint32_t>& difat_pages = out.difat_pages;
  fat_pages.clear();
  difat_pages.clear();
  bool more = true;
  for (uint32_t s : header.difat) {
    if (s > kMaxRegSect) {
      more = false;
      break;
    }
    claims.Claim(s);
    fat_pages.push_back(s);
  }
  std::vector<uint8_t> buffer(ss);
  for (uint32_t d = header.first_difat_sector; more && d != kEndOfChain && d != kFreeSect;) {
    claims.Claim(d);
    difat_pages.push_back(d);
    if (file.ReadAt(reader.Offset(d), buffer.data(), ss) != ss) Corrupt("truncated DIFAT sector");
    for (uint32_t i = 0; i + 1 < per_sector; ++i) {
      const uint32_t s = LoadU32(buffer.data() + 4 * i);
      if (s > kMaxRegSect) {
        more = false;
        break;
      }
      claims.Claim(s);
      fat_pages.push_back(s);
    }
    d = LoadU32(buffer.data() + ss - 4);
  }
  if (fat_pages.empty()) Corrupt("no FAT");

  // The FAT itself; entries of sectors past the end of the file are free.
  std::vector<uint32_t> next = reader.ReadTable(fat_pages);
  for (uint64_t s = sectors; s < next.size(); ++s) next[s] = kFreeSect;
  // A FAT too short to describe its own sectors still gets them marked.
  for (const auto* pages : {&fat_pages, &difat_pages})
    for (uint32_t s : *pages)
      next.resize(std::max<size_t>(next.size(), uint64_t{s} + 1), kFreeSect);
  for (uint32_t s : fat_pages) next[s] = kFatSect;
  for (uint32_t s : difat_pages) next[s] = kDifSect;
  AllocationTable& fat = out.fat;
  fat = AllocationTable(per_sector, MaxSectors(header.version));
  if (header.version == Version::k4) fat.ReserveWhenReached(kRangeLockSectorV4);
  fat.Assign(std::move(next));

  // The directory.
  out.dir_pages = WalkOpenChain(fat, header.first_dir_sector, claims);
  if (out.dir_pages.empty()) Corrupt("no directory");
  const uint32_t per_dir_sector = ss / kDirEntrySize;
  // Parsed piece by piece: the raw bytes of the whole directory are never
  // held beside the parsed entries.
  EntryStore entries;
  entries.Reserve(out.dir_pages.size() * per_dir_sector);
  reader.ReadSectors(out.dir_pages, [&](size_t, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size() / kDirEntrySize; ++i)
      entries.AppendParsed(
          std::span<const uint8_t, kDirEntrySize>(bytes.data() + i * kDirEntrySize, kDirEntrySize),
          header.version);
  });
  dir.Load(std::move(entries), per_dir_sector);  // new stamps: old handles go stale

  // The mini FAT and the mini stream.
  out.minifat_pages = WalkOpenChain(fat, header.first_minifat_sector, claims);
  std::vector<uint32_t> mini_next = reader.ReadTable(out.minifat_pages);
  const EntryView root = dir.entry(kRootId);
  const uint64_t mini_stream_sectors = DivCeil(root.size(), ss);
  if (root.size() > 0 && !WalkChain(fat, root.start(), mini_stream_sectors, claims))
    Corrupt("damaged mini stream");
  const uint64_t mini_capacity = root.size() / kMiniSectorSize;
  // Entries past the mini stream belong to nothing.
  if (mini_next.size() > mini_capacity) {
    for (uint64_t m = mini_capacity; m < mini_next.size(); ++m) mini_next[m] = kFreeSect;
  }
  AllocationTable& minifat = out.minifat;
  minifat = AllocationTable(per_sector, kMaxRegSect);
  minifat.Assign(std::move(mini_next));

  // Every stream's chain: a damaged one makes only that stream unreadable.
  SectorClaims mini_claims(std::min<uint64_t>(mini_capacity, minifat.size()));
  out.damaged.clear();
  for (uint32_t id = 1; id < dir.size(); ++id) {
    if (!dir.IsLive(id) || !dir.entry(id).is_stream()) continue;
    const EntryView e = dir.entry(id);
    const bool ok =
        e.size() < kMiniStreamCutoff
            ? WalkChain(minifat, e.start(), DivCeil(e.size(), kMiniSectorSize), mini_claims)
            : WalkChain(fat, e.start(), DivCeil(e.size(), ss), claims);
    if (!ok) out.damaged.insert(id);
  }
  // A sector in use that the table calls free (the end of a chain, for some
  // writers) would be handed out again while still in use.
  for (uint32_t s = 0; s < sectors; ++s)
    if (claims.IsClaimed(s) && fat.Get(s) == kFreeSect) fat.Set(s, kEndOfChain);
  for (uint32_t m = 0; m < mini_claims.size(); ++m)
    if (mini_claims.IsClaimed(m) && minifat.Get(m) == kFreeSect) minifat.Set(m, kEndOfChain);
}

}  // namespace cfb
