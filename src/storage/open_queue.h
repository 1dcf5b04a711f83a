// Opening a compound file that other opens hold, in this process or in
// others: how long an open waits for its turn, and in which order. A reader
// waits a little; a writer as long as the user lets it, or, when nobody can
// be asked, a bounded time. Within one process a writer that waits goes
// before readers that come after it, so that readers which keep coming
// (background listings and extractions of one host) cannot starve it; the
// engine on POSIX also queues writers across processes.
#pragma once

#include <functional>
#include <string>

#include "platform/ole.h"

namespace storage {

enum class OpenRole { kReader, kWriter };

// Asked every few tenths of a second while a writer waits; false when the
// user wants to wait no longer.
using TStgAskToWait = std::function<bool()>;

// Calls open with the wait this open may make: open tries again for as long
// as that says so. The last answer of open; E_ABORT when askToWait ended a
// wait. Readers never ask.
HRESULT OpenWaitingForHolders(const std::string& fileName, OpenRole role,
                              const TStgAskToWait& askToWait,
                              const std::function<HRESULT(const QOR_KEEP_WAITING&)>& open);

}  // namespace storage
