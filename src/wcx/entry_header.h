// What the archive tree tells the host about one entry. The exports fill the
// host's header record (8-bit or UTF-16) from it; inside the plug-in the
// path is UTF-8 and has no length limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/os_types.h"

namespace wcx {

struct EntryHeader {
  std::string FileName;  // the archive path
  uint64_t PackSize = 0;
  uint64_t UnpSize = 0;
  int32_t FileTime = 0;  // in the host's encoding (header_time.h)
  // The entry's own time as stored, which an extracted file gets; unset
  // when it has none (FileTime then shows a storage's, or no date).
  std::optional<FILETIME> OwnTime;
  int32_t FileAttr = 0;
};

}  // namespace wcx
