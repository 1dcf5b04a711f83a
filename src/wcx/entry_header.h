// What the archive tree tells the host about one entry. The exports fill the
// host's header record (8-bit or UTF-16) from it; inside the plug-in the
// path is UTF-8 and has no length limit.
#pragma once

#include <cstdint>
#include <string>

namespace wcx {

enum class HeaderTimeSource {
  kEntry,      // the entry's own time
  kInherited,  // shown only: extraction leaves the file's time as writing left it
};

struct EntryHeader {
  std::string FileName;  // the archive path
  uint64_t PackSize = 0;
  uint64_t UnpSize = 0;
  int32_t FileTime = 0;  // in the host's encoding (header_time.h)
  HeaderTimeSource FileTimeSource = HeaderTimeSource::kEntry;
  int32_t FileAttr = 0;
};

}  // namespace wcx
