// One archive opened through the plug-in the way Double Commander opens it:
// OpenArchive with the full path, both callbacks set on the handle, then
// headers one after the other (ReadHeaderExW in the Unicode interface, else
// ReadHeaderEx when exported, else ReadHeader), each followed by one
// ProcessFile, and CloseArchive at the end.
#pragma once

#include <cstdint>
#include <string>

#include "plugin.h"

namespace wcxhost {

struct Entry {
  std::string path;  // as the header spells it, without a trailing delimiter
  uint64_t size = 0;
  uint64_t packed_size = 0;
  int32_t attr = 0;
  int32_t time = 0;
  bool folder = false;
};

class ArchiveSession {
 public:
  // `archive` is the name the user gave; messages use it. Throws HostError
  // when the plug-in cannot open the archive.
  ArchiveSession(const Plugin& plugin, const std::string& archive, int32_t open_mode);
  ~ArchiveSession();
  ArchiveSession(const ArchiveSession&) = delete;
  ArchiveSession& operator=(const ArchiveSession&) = delete;

  // Reads the next header; false after the last one. Throws HostError when
  // the plug-in reports an error.
  bool NextEntry(Entry& entry);

  // ProcessFile on the entry just read, with a null DestPath and `dest_name`
  // ("" to skip or test, the full target path to extract). Returns the
  // plug-in's result.
  int32_t Process(int32_t operation, std::string dest_name = {});

  // ProcessFile(PK_SKIP, null, "") on `entry`, the entry just read; throws
  // HostError on a non-zero result.
  void Skip(const Entry& entry);

  // CloseArchive; throws HostError on a non-zero result.
  void Close();

 private:
  const Plugin& plugin_;
  std::string archive_;
  wcx::HANDLE handle_ = nullptr;
  bool any_entry_ = false;
};

}  // namespace wcxhost
