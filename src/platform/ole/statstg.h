// Filling a STATSTG from an element; names come from the task allocator.
#pragma once

#include <string_view>

#include "cfb/compound_file.h"
#include "platform/ole.h"

namespace platform::ole {

// A copy of the name from CoTaskMemAlloc; throws std::bad_alloc.
LPOLESTR TaskMemName(std::u16string_view name);

// grfStatFlag must be STATFLAG_DEFAULT or STATFLAG_NONAME.
void FillElementStat(const cfb::CompoundFile& file, uint32_t id, DWORD grf_mode, DWORD stat_flag,
                     STATSTG& out);
// The root: its name is the file name as the caller gave it, its times are
// the file system's.
void FillRootStat(const cfb::CompoundFile& file, std::u16string_view name, DWORD grf_mode,
                  DWORD stat_flag, STATSTG& out);

}  // namespace platform::ole
