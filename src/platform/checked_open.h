// Opening an existing compound file for the plug-in. The Linux engine
// checks a file's structures as it opens it; on Windows they are read with
// the same code before the system's storage gets the file, which would
// loop forever on a chain or a directory tree that runs in a circle.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole.h"

namespace platform {

// An element by the match keys of its names, from the root's child down.
using ElementPath = std::vector<std::basic_string<OLECHAR>>;
// Streams whose own sectors are damaged (the rest of the file is sound):
// the system's storage must not read, free or copy them.
using DamagedStreams = std::set<ElementPath>;

// A name as the system's storage finds it: whatever the case.
std::basic_string<OLECHAR> MatchKey(std::basic_string_view<OLECHAR> name);

// QorOpenStorageWaiting on a file that held together: a damaged one gets
// STG_E_DOCFILECORRUPT or STG_E_INVALIDHEADER, as the engine gives. damaged:
// the streams of the file that only the engine can see are damaged (none on
// Linux, where the engine itself refuses them).
HRESULT OpenCheckedStorage(const OLECHAR* name, DWORD mode, const QOR_KEEP_WAITING& keepWaiting,
                           IStorage** storage, DamagedStreams& damaged);

}  // namespace platform
