// Helpers for driving an archive tree the way the exports do.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/os.h"
#include "wcx/archive_tree.h"

namespace testing_support {

// A host file list: zero-terminated names, ended by an empty one.
inline std::string HostList(std::initializer_list<std::string> names) {
  std::string list;
  for (const std::string& name : names) list += name + '\0';
  return list + '\0';
}

inline wcx::tHeaderDataEx ZeroHeader() {
  wcx::tHeaderDataEx header;
  std::memset(&header, 0, sizeof header);
  return header;
}

// Every header of a full listing, folders marked with a trailing '/', and
// the result that ended it.
struct Listing {
  std::vector<std::string> paths;
  int32_t end = 0;
};

inline Listing ListAll(wcx::TqorWCXDir& root) {
  Listing listing;
  for (;;) {
    wcx::EntryHeader header;
    listing.end = root.NextHeader(header);
    if (listing.end != 0) return listing;
    std::string path = header.FileName;
    if (header.FileAttr & platform::kFolderMark) path += '/';
    listing.paths.push_back(path);
  }
}

// Moves the cursor to the entry with the given path; false when the
// listing ends first.
inline bool SeekTo(wcx::TqorWCXDir& root, const std::string& path) {
  for (;;) {
    wcx::EntryHeader header;
    if (root.NextHeader(header) != 0) return false;
    if (path == header.FileName) return true;
  }
}

}  // namespace testing_support
