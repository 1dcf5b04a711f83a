// The compacted copy of a file, written beside it and put in its place by a
// rename. Where the file system has unnamed files the copy gets a name only
// once complete, just before the rename; elsewhere it is named from the start
// and marked unfinished, so that the next compaction removes a copy whose
// process ended before it took the file's place.
#pragma once

#include <sys/stat.h>

#include <string>

#include "cfb/compound_file.h"

namespace platform::ole {

enum class Replaced { kYes, kOwnerNotKept };

// Removes the copies beside path that are marked unfinished and that no
// process holds.
void RemoveLeftoverCopies(const std::string& path);

// Puts a copy of source, in version, with the mode and owner of original, in
// the place of source's file. kOwnerNotKept (nothing written) when the owner
// cannot be given to the copy.
Replaced ReplaceWithCopy(cfb::CompoundFile& source, cfb::Version version,
                         const struct stat& original);

}  // namespace platform::ole
