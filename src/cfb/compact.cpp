// Giving back the room that edits left free. Free sectors in the middle of
// a file are reused by later writes but never returned, so a file that once
// held much more keeps its size. Two ways out: a copy written afresh (every
// chain ascending, the directory first), which the caller puts in the
// file's place, and, where a copy cannot take the file's place, moving the
// content down inside the file under the usual commit rules.
#include <algorithm>
#include <array>

#include "cfb/compound_file.h"
#include "cfb/error.h"

namespace cfb {

namespace {

constexpr uint64_t kCopyPiece = 1 << 20;
constexpr std::array<uint8_t, 16> kUnfinishedCopyMark = {
    '~', 'q', 'o', 'r', ' ', 'u', 'n', 'f', 'i', 'n', 'i', 's', 'h', 'e', 'd', 0};

}  // namespace

uint64_t CompoundFile::FreeBytes() const {
  const uint64_t used = (uint64_t{fat_.UsedCount()} + 1) * sector_size();  // with the header
  return file_size_ > used ? file_size_ - used : 0;
}

std::unique_ptr<CompoundFile> CompoundFile::CreateCopy(CompoundFile& source,
                                                       const std::string& path, Version version) {
  FileHandle file = FileHandle::Open(path, FileHandle::Mode::kCreateNew, ShareLock::kExclusive);
  std::unique_ptr<CompoundFile> copy(new CompoundFile(std::move(file), path, true, version));
  copy->FillAsCopyOf(source);
  FileHandle::SyncDirectoryOf(path);
  return copy;
}

FileHandle CompoundFile::WriteCopy(CompoundFile& source, FileHandle file, const std::string& path,
                                   Version version) {
  CompoundFile copy(std::move(file), path, true, version);
  copy.FillAsCopyOf(source);
  return copy.file_.Release();
}

void CompoundFile::FillAsCopyOf(CompoundFile& source) {
  for (uint32_t id = 1; id < source.dir_.size(); ++id)
    if (source.dir_.IsLive(id) && source.IsDamaged(id))
      Corrupt("a stream of the file is damaged: no copy can hold all of it");
  // A process that ends half-way leaves a named copy with this mark, which
  // tells whoever finds it that nobody will finish it.
  file_.WriteAt(0, kUnfinishedCopyMark.data(), kUnfinishedCopyMark.size());
  InitEmpty();
  CopyContentOf(source);
  Commit();
}

bool CompoundFile::IsUnfinishedCopy(const FileHandle& file) {
  std::array<uint8_t, kUnfinishedCopyMark.size()> start{};
  return file.ReadAt(0, start.data(), start.size()) == start.size() &&
         start == kUnfinishedCopyMark;
}

void CompoundFile::CopyContentOf(CompoundFile& source) {
  // The directory, breadth first: names (even colliding ones), classes,
  // state bits and times as they are.
  dir_.SetAttributes(kRootId, source.dir_.entry(kRootId).attributes());
  std::vector<std::pair<uint32_t, uint32_t>> streams;  // source id, copy id
  std::vector<std::pair<uint32_t, uint32_t>> storages{{kRootId, kRootId}};
  for (size_t next = 0; next < storages.size(); ++next) {
    const auto [from, to] = storages[next];
    for (uint32_t child : source.dir_.Children(from)) {
      DirEntry e = source.dir_.entry(child).ToEntry();
      e.left = e.right = e.child = kNoStream;
      e.start = e.is_stream() ? kEndOfChain : 0;
      const uint64_t size = e.size;
      e.size = 0;
      const uint32_t id = dir_.Insert(to, e);
      if (dir_.entry(id).is_storage())
        storages.emplace_back(child, id);
      else if (size > 0)
        streams.emplace_back(child, id);
      if (dir_.entry(id).is_stream()) chains_[id];
    }
  }
  Touch();

  // Placed before any content, so the directory comes first; the mini FAT
  // and the mini stream follow at their final sizes.
  std::vector<bool> write;
  PlaceChainPages(dir_pages_, dir_.page_count(), std::vector<bool>(dir_.page_count(), true), write);
  uint64_t mini_sectors = 0;
  for (const auto& [from, to] : streams)
    if (source.dir_.entry(from).size() < kMiniStreamCutoff)
      mini_sectors += DivCeil(source.dir_.entry(from).size(), kMiniSectorSize);
  if (mini_sectors > 0) {
    minifat_.Set(static_cast<uint32_t>(mini_sectors - 1), kFreeSect);
    PlaceChainPages(minifat_pages_, minifat_.page_count(),
                    std::vector<bool>(minifat_.page_count(), true), write);
    EnsureMiniStreamCapacity(mini_sectors);
  }

  // Small streams first, then the others, each in one ascending run.
  std::stable_partition(streams.begin(), streams.end(), [&](const auto& stream) {
    return source.dir_.entry(stream.first).size() < kMiniStreamCutoff;
  });
  std::vector<uint8_t> piece(kCopyPiece);
  for (const auto& [from, to] : streams) {
    const uint64_t size = source.dir_.entry(from).size();
    for (uint64_t pos = 0; pos < size;) {
      const uint64_t got = source.Read(from, pos, piece.data(), std::min(size - pos, kCopyPiece));
      if (got == 0) Corrupt("a stream ended before its size");
      Write(to, pos, piece.data(), got);
      pos += got;
    }
  }
}

bool CompoundFile::CompactInPlace() {
  CheckWritable();
  const uint64_t size_before = file_size_;
  // Each pass moves content into sectors that were free before it began
  // (sectors it frees stay protected until its commit), then commits and
  // cuts what is free at the end; the file shrinks pass by pass.
  for (int pass = 0; pass < 64; ++pass) {
    const uint64_t size = file_size_;
    for (uint32_t id = 0; id < dir_.size(); ++id) {
      if (!dir_.IsLive(id) || IsDamaged(id)) continue;
      const EntryView e = dir_.entry(id);
      const bool regular = id == kRootId ? e.size() > 0 : e.is_stream() && !InMiniStream(id);
      if (!regular) continue;
      std::vector<uint32_t>& chain = ChainOf(id);
      for (size_t k = 0; k < chain.size(); ++k) {
        if (fat_.FirstAllocatable() >= chain[k]) continue;
        Touch();
        Relocate(id, chain, k, true, AllocationTable::kNoHint);
      }
    }
    Commit();
    if (file_size_ >= size) break;
  }
  return file_size_ < size_before;
}

}  // namespace cfb
