// The FileTime field of a header in the host's encoding
// (platform::kHeaderTimeEncoding): packed DOS local time for Total
// Commander, unsigned 32-bit Unix seconds (UTC, 1970 to 2106) for Double
// Commander. Nothing else needs to know which one the host reads. Extracted
// files get the entry's own time, never one decoded from this field.
#pragma once

#include <cstdint>

#include "platform/os_types.h"

namespace wcx {

// Raises an rtl::Exception when the host's encoding cannot represent the
// time.
int32_t EncodeHeaderTime(const FILETIME& utc);

}  // namespace wcx
