// What a compound file's directory holds, folded into a digest (Windows). The
// system's structured storage does not show everything: Wine's lists one of
// two siblings whose names differ only in case, and reports neither the
// times nor the state bits of storages. A copy made through it is trusted
// only when its directory's digest is the original's.
#pragma once

#include <cstdint>

#include "cfb/directory.h"

namespace platform::compaction {

// Every entry in use, independent of its place: its name and type; the
// class id, state bits and (but for the root's) times of storages; the size
// of streams.
struct DirectoryDigest {
  uint64_t entries = 0;
  uint64_t sum = 0;
  uint64_t mixed = 0;
  bool operator==(const DirectoryDigest&) const = default;
};

// The digest of a directory as the engine's reader read it from the file.
DirectoryDigest DigestDirectory(const cfb::Directory& directory);

}  // namespace platform::compaction
