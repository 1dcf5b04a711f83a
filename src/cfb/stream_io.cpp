// Stream contents: chains of sectors or of mini sectors, reads and writes
// coalesced over contiguous sectors, and resizing. A sector that the last
// committed state uses is never written: the write goes to a fresh sector
// that takes its place in the chain.
#include <algorithm>
#include <cstring>

#include "cfb/compound_file.h"
#include "cfb/error.h"

namespace cfb {

namespace {
constexpr uint64_t kZeroChunk = 1 << 20;

const uint8_t* Zeros() {
  static const std::vector<uint8_t> zeros(kZeroChunk, 0);
  return zeros.data();
}

// Walks bytes [pos, pos + count) of a chain of `unit`-byte sectors in runs of
// sectors that follow each other, calling visit(first sector, offset in it,
// length) once per run, so that a run costs one system call.
template <class Visit>
void ForEachRun(const std::vector<uint32_t>& chain, uint64_t unit, uint64_t pos, uint64_t count,
                Visit&& visit) {
  while (count > 0) {
    const size_t k = pos / unit;
    const uint64_t within = pos % unit;
    size_t last = k;
    uint64_t span = unit - within;
    while (span < count && last + 1 < chain.size() && chain[last + 1] == chain[last] + 1) {
      ++last;
      span += unit;
    }
    const uint64_t n = std::min(span, count);
    visit(chain[k], within, n);
    pos += n;
    count -= n;
  }
}
}  // namespace

bool CompoundFile::InMiniStream(uint32_t id) const {
  return id != kRootId && dir_.entry(id).size() < kMiniStreamCutoff;
}

std::vector<uint32_t>& CompoundFile::ChainOf(uint32_t id) {
  auto it = chains_.find(id);
  if (it != chains_.end()) return it->second;
  const EntryView e = dir_.entry(id);
  std::vector<uint32_t> chain;
  if (e.size() > 0) {
    if (InMiniStream(id))
      chain = minifat_.Chain(e.start(), DivCeil(e.size(), kMiniSectorSize));
    else
      chain = fat_.Chain(e.start(), DivCeil(e.size(), sector_size()));
  }
  return chains_.emplace(id, std::move(chain)).first->second;
}

void CompoundFile::WriteFile(uint64_t offset, const void* data, uint64_t count) {
  file_.WriteAt(offset, data, count);
  file_size_ = std::max(file_size_, offset + count);
}

void CompoundFile::ReadRegular(const std::vector<uint32_t>& chain, uint64_t pos, uint8_t* out,
                               uint64_t count) {
  ForEachRun(chain, sector_size(), pos, count, [&](uint32_t sector, uint64_t within, uint64_t n) {
    const uint64_t got = file_.ReadAt(Offset(sector) + within, out, n);
    if (got < n) std::memset(out + got, 0, n - got);  // allocated but never written
    out += n;
  });
}

void CompoundFile::Relocate(uint32_t id, std::vector<uint32_t>& chain, size_t k, bool keep_content,
                            uint32_t hint) {
  const uint32_t old = chain[k];
  const uint32_t fresh = fat_.Allocate(hint);
  if (keep_content) {
    std::vector<uint8_t> sector(sector_size(), 0);
    file_.ReadAt(Offset(old), sector.data(), sector.size());
    WriteFile(Offset(fresh), sector.data(), sector.size());
  }
  fat_.Set(fresh, k + 1 < chain.size() ? chain[k + 1] : kEndOfChain);
  if (k > 0)
    fat_.Set(chain[k - 1], fresh);
  else
    dir_.SetStart(id, fresh);
  fat_.Free(old);  // stays protected until the next commit
  chain[k] = fresh;
}

void CompoundFile::WriteRegular(uint32_t id, uint64_t pos, const uint8_t* in, uint64_t count) {
  if (count == 0) return;
  std::vector<uint32_t>& chain = ChainOf(id);
  const uint32_t ss = sector_size();
  const size_t first = pos / ss;
  const size_t last = (pos + count - 1) / ss;
  for (size_t k = first; k <= last; ++k) {
    if (!fat_.IsCommitted(chain[k])) continue;
    const uint64_t begin = uint64_t{k} * ss;
    const bool whole = pos <= begin && pos + count >= begin + ss;
    Relocate(id, chain, k, !whole, k > 0 ? chain[k - 1] + 1 : AllocationTable::kNoHint);
  }
  ForEachRun(chain, ss, pos, count, [&](uint32_t sector, uint64_t within, uint64_t n) {
    WriteFile(Offset(sector) + within, in, n);
    in += n;
  });
}

void CompoundFile::ZeroRegular(uint32_t id, uint64_t from, uint64_t to) {
  const std::vector<uint32_t>& chain = ChainOf(id);
  const uint32_t ss = sector_size();
  auto in_file = [&](size_t k) { return Offset(chain[k]) < file_size_; };
  uint64_t pos = from;
  while (pos < to) {
    size_t k = pos / ss;
    if (!in_file(k)) {  // sectors past the end of the file read as zeros already
      pos = (uint64_t{k} + 1) * ss;
      continue;
    }
    uint64_t end = std::min(to, pos + kZeroChunk);
    for (size_t j = k + 1; uint64_t{j} * ss < end; ++j) {
      if (!in_file(j)) {
        end = uint64_t{j} * ss;
        break;
      }
    }
    WriteRegular(id, pos, Zeros(), end - pos);
    pos = end;
  }
}

void CompoundFile::ResizeRegularChain(uint32_t id, uint64_t sectors) {
  std::vector<uint32_t>& chain = ChainOf(id);
  if (sectors > chain.size()) {
    if (!fat_.CanAllocate(sectors - chain.size()))
      Fail(Errc::kMediumFull, "the file would pass its size limit");
    if (sectors > chain.capacity())
      chain.reserve(std::max<uint64_t>(sectors, 2 * chain.capacity()));  // keeps growth amortised
    while (chain.size() < sectors) {
      const uint32_t s = fat_.Allocate(chain.empty() ? AllocationTable::kNoHint : chain.back() + 1);
      if (chain.empty())
        dir_.SetStart(id, s);
      else
        fat_.Set(chain.back(), s);
      chain.push_back(s);
    }
  } else if (sectors < chain.size()) {
    for (size_t k = sectors; k < chain.size(); ++k) fat_.Free(chain[k]);
    chain.resize(sectors);
    if (chain.empty())
      dir_.SetStart(id, kEndOfChain);
    else
      fat_.Set(chain.back(), kEndOfChain);
  }
}

void CompoundFile::ReadMini(const std::vector<uint32_t>& chain, uint64_t pos, uint8_t* out,
                            uint64_t count) {
  const std::vector<uint32_t>& mini_stream = ChainOf(kRootId);
  ForEachRun(chain, kMiniSectorSize, pos, count, [&](uint32_t mini, uint64_t within, uint64_t n) {
    ReadRegular(mini_stream, uint64_t{mini} * kMiniSectorSize + within, out, n);
    out += n;
  });
}

void CompoundFile::WriteMini(uint32_t id, uint64_t pos, const uint8_t* in, uint64_t count) {
  const std::vector<uint32_t>& chain = ChainOf(id);
  ForEachRun(chain, kMiniSectorSize, pos, count, [&](uint32_t mini, uint64_t within, uint64_t n) {
    WriteRegular(kRootId, uint64_t{mini} * kMiniSectorSize + within, in, n);
    in += n;
  });
}

void CompoundFile::EnsureMiniStreamCapacity(uint64_t mini_sectors) {
  const uint64_t bytes = mini_sectors * kMiniSectorSize;
  if (dir_.entry(kRootId).size() >= bytes) return;
  ResizeRegularChain(kRootId, DivCeil(bytes, sector_size()));
  dir_.SetSize(kRootId, bytes);
}

void CompoundFile::ResizeMiniChain(uint32_t id, uint64_t mini_sectors) {
  std::vector<uint32_t>& chain = ChainOf(id);
  if (mini_sectors > chain.size()) {
    if (mini_sectors > chain.capacity())
      chain.reserve(std::max<uint64_t>(mini_sectors, 2 * chain.capacity()));
    while (chain.size() < mini_sectors) {
      const uint32_t m =
          minifat_.Allocate(chain.empty() ? AllocationTable::kNoHint : chain.back() + 1);
      EnsureMiniStreamCapacity(uint64_t{m} + 1);
      if (chain.empty())
        dir_.SetStart(id, m);
      else
        minifat_.Set(chain.back(), m);
      chain.push_back(m);
    }
  } else if (mini_sectors < chain.size()) {
    for (size_t k = mini_sectors; k < chain.size(); ++k) minifat_.Free(chain[k]);
    chain.resize(mini_sectors);
    if (chain.empty())
      dir_.SetStart(id, kEndOfChain);
    else
      minifat_.Set(chain.back(), kEndOfChain);
  }
}

void CompoundFile::ReleaseChain(uint32_t id) {
  if (InMiniStream(id))
    ResizeMiniChain(id, 0);
  else
    ResizeRegularChain(id, 0);
  chains_.erase(id);
}

// Grows or shrinks a stream; bytes from the old end up to zero_until read as
// zeros afterwards (the caller overwrites the rest).
void CompoundFile::ResizeTo(uint32_t id, uint64_t size, uint64_t zero_until) {
  const uint64_t old = dir_.entry(id).size();
  if (size == old) return;
  const uint32_t ss = sector_size();
  const bool was_mini = old < kMiniStreamCutoff;
  const bool mini = size < kMiniStreamCutoff;
  zero_until = std::min(zero_until, size);
  if (was_mini == mini) {
    if (mini) {
      if (!fat_.CanAllocate(DivCeil(DivCeil(size, kMiniSectorSize) * kMiniSectorSize, ss)))
        Fail(Errc::kMediumFull, "the file would pass its size limit");
      ResizeMiniChain(id, DivCeil(size, kMiniSectorSize));
      dir_.SetSize(id, size);
      if (zero_until > old) WriteMini(id, old, Zeros(), zero_until - old);
    } else {
      ResizeRegularChain(id, DivCeil(size, ss));
      dir_.SetSize(id, size);
      if (zero_until > old) ZeroRegular(id, old, zero_until);
    }
    return;
  }
  // The stream moves between the mini stream and regular sectors: what it
  // keeps is below the cutoff, so it fits a small buffer.
  if (!mini && !fat_.CanAllocate(DivCeil(size, ss)))
    Fail(Errc::kMediumFull, "the file would pass its size limit");
  const uint64_t keep = std::min(old, size);
  std::vector<uint8_t> kept(keep);
  Read(id, 0, kept.data(), keep);
  ReleaseChain(id);
  dir_.SetSize(id, size);
  chains_[id];  // an empty chain of the new kind
  if (mini) {
    ResizeMiniChain(id, DivCeil(size, kMiniSectorSize));
    WriteMini(id, 0, kept.data(), keep);
    if (zero_until > keep) WriteMini(id, keep, Zeros(), zero_until - keep);
  } else {
    ResizeRegularChain(id, DivCeil(size, ss));
    WriteRegular(id, 0, kept.data(), keep);
    if (zero_until > keep) ZeroRegular(id, keep, zero_until);
  }
}

uint64_t CompoundFile::Read(uint32_t id, uint64_t pos, void* buffer, uint64_t count) {
  if (IsDamaged(id)) Corrupt("the stream's sectors are damaged");
  const uint64_t size = dir_.entry(id).size();
  if (pos >= size || count == 0) return 0;
  count = std::min(count, size - pos);
  auto* out = static_cast<uint8_t*>(buffer);
  if (InMiniStream(id))
    ReadMini(ChainOf(id), pos, out, count);
  else
    ReadRegular(ChainOf(id), pos, out, count);
  return count;
}

void CompoundFile::Write(uint32_t id, uint64_t pos, const void* buffer, uint64_t count) {
  CheckWritable();
  if (IsDamaged(id)) Corrupt("the stream's sectors are damaged");
  if (count == 0) return;
  if (pos + count < pos) Fail(Errc::kInvalidArgument, "position overflow");
  Touch();
  const uint64_t old_size = dir_.entry(id).size();
  try {
    if (pos + count > old_size) ResizeTo(id, pos + count, pos);
    const auto* in = static_cast<const uint8_t*>(buffer);
    if (InMiniStream(id))
      WriteMini(id, pos, in, count);
    else
      WriteRegular(id, pos, in, count);
  } catch (const Error&) {
    // A failed write does not grow the stream.
    if (dir_.entry(id).size() > old_size) {
      try {
        ResizeTo(id, old_size, old_size);
      } catch (const Error&) {
      }
    }
    throw;
  }
}

void CompoundFile::Resize(uint32_t id, uint64_t size) {
  CheckWritable();
  if (IsDamaged(id)) Corrupt("the stream's sectors are damaged");
  Touch();
  ResizeTo(id, size, size);
}

}  // namespace cfb
