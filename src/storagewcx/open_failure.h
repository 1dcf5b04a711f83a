// What the host is told when a compound file does not open: each cause its
// own result code, so that no failure reads as another program's lock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ole.h"

namespace storagewcx {

enum class OpenPurpose { kOpenExisting, kCreate };

// E_EOPEN when another program holds the file (or made it first, while it
// was being created), E_ECREATE when it cannot be created there,
// E_UNKNOWN_FORMAT when it is not a compound file, E_EREAD when it cannot
// be read (damaged, missing, no access) and E_EWRITE when it can be read
// but not written.
int32_t OpenFailureResult(HRESULT code, const std::string& arcName, OpenPurpose purpose);

}  // namespace storagewcx
