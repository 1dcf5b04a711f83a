// The compound file's disk file, with its small writes gathered in memory.
// Packing many small files wrote each stream, and each piece of the mini
// stream, on its own: a system call apiece cost more than everything else
// the engine does per stream, and each partial block made the file system
// zero the rest of it first. Small writes that land near each other are
// held in a window and reach the file in a few large writes, gaps past the
// file's end filled with the zeros they read as: when a write falls outside
// the window, and always before a sync, a resize or handing the file on,
// so a commit's order of writes and syncs is kept. Reads see the held
// bytes. A held write that fails on its way out is reported by the call
// that sent it out (a later write, or the commit's sync) and stays held, to
// go out with the next flush: no byte a write accepted is dropped, except
// by Discard.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "cfb/file_handle.h"

namespace cfb {

class WriteBackFile {
 public:
  explicit WriteBackFile(FileHandle file) : file_(std::move(file)) {}

  // The file's length with the held bytes.
  uint64_t Size() const;
  // As FileHandle::ReadAt, held bytes included.
  uint64_t ReadAt(uint64_t offset, void* buffer, uint64_t count) const;
  // May write earlier held bytes first, and throw their failure.
  void WriteAt(uint64_t offset, const void* buffer, uint64_t count);
  void Resize(uint64_t size);
  void Sync();
  // Forgets the held bytes: for changes that are being dropped anyway.
  void Discard();
  // The file with every held byte written.
  FileHandle Release();

 private:
  void Flush();
  // Drops the first ranges of held_.
  void Forget(size_t ranges);
  bool Holds(uint64_t offset, uint64_t count) const;
  void Hold(uint64_t offset, const void* buffer, uint64_t count);

  FileHandle file_;
  // Allocated by the first held write after a sync, freed by the sync;
  // zero outside the held ranges.
  std::vector<uint8_t> window_;
  uint64_t base_ = 0;            // the file offset of window_[0]
  // The held byte ranges [first, second), ascending, apart from each other.
  std::vector<std::pair<uint64_t, uint64_t>> held_;
};

}  // namespace cfb
