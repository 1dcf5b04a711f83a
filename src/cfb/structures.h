// Reading a compound file's structures (header, FAT and DIFAT, directory,
// mini FAT), trusting none of them. Bytes in through a ByteSource, checked
// values or a clean error out; no file access of its own, so every build
// checks a file with the same code.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "cfb/allocation_table.h"
#include "cfb/byte_source.h"
#include "cfb/directory.h"
#include "cfb/format.h"
#include "cfb/header.h"

namespace cfb {

struct FileStructures {
  Header header;
  std::array<uint8_t, kHeaderSize> header_bytes{};
  AllocationTable fat{SectorSize(Version::k3) / 4, MaxSectors(Version::k3)};
  AllocationTable minifat{SectorSize(Version::k3) / 4, kMaxRegSect};
  std::vector<uint32_t> fat_pages;
  std::vector<uint32_t> difat_pages;
  std::vector<uint32_t> dir_pages;
  std::vector<uint32_t> minifat_pages;
  // Streams whose chains do not hold together: only they are unreadable.
  std::unordered_set<uint32_t> damaged;
};

// Reads the structures of file into out and loads dir from its entries
// (where an open file keeps them, so that its stamps change). Throws
// kNotCompoundFile for a file that is empty or lacks the signature,
// kInvalidHeader, kCorrupt (a chain that leaves the file, runs in a circle
// or shares sectors; a directory tree that does), kReadFault.
void ReadStructures(const ByteSource& file, FileStructures& out, Directory& dir);

// The structures of a file for a reader that only checks it.
struct CheckedFile {
  FileStructures structures;
  Directory directory{SectorSize(Version::k3) / kDirEntrySize};

  void Read(const ByteSource& file) { ReadStructures(file, structures, directory); }
};

}  // namespace cfb
