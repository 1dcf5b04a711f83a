// Opening a compound file that another open of this process holds: the
// open is tried again for a short while, and a writer that waits goes
// before readers that come after it, so that readers which keep coming
// (background listings and extractions of one host) cannot starve it. The
// engine on POSIX queues writers across processes by itself; the system's
// structured storage on Windows answers a conflict at once.
#pragma once

#include <functional>
#include <string>

#include "platform/ole.h"

namespace storage {

enum class OpenRole { kReader, kWriter };

// Calls open until it answers anything but a share conflict, or the time
// is up; the last answer.
HRESULT OpenWaitingForHolders(const std::string& fileName, OpenRole role,
                              const std::function<HRESULT()>& open);

}  // namespace storage
