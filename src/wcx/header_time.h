// The FileTime field of a header in the host's encoding
// (platform::kHeaderTimeEncoding): packed DOS local time for Total
// Commander, Unix seconds (UTC) for Double Commander. Nothing else needs to
// know which one the host reads.
#pragma once

#include <cstdint>

#include "platform/os_types.h"

namespace wcx {

// Raises an rtl::Exception when the host's encoding cannot represent the
// time.
int32_t EncodeHeaderTime(const FILETIME& utc);
// Raises an rtl::Exception for a value that is not a valid time.
FILETIME DecodeHeaderTime(int32_t value);

}  // namespace wcx
