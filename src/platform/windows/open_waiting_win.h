// The system's structured storage answers a share conflict at once: an open
// is tried again while the caller waits.
#pragma once

#include <functional>

#include "platform/ole.h"

namespace platform {

// open() again while it meets a share or lock violation and keepWaiting
// answers true; its last result otherwise.
HRESULT RetryWhileHeld(const QOR_KEEP_WAITING& keepWaiting, const std::function<HRESULT()>& open);

}  // namespace platform
