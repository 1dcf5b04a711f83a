// Memory the structured-storage API hands out: element names come from the
// task allocator and go back to it; element descriptions are copied to the
// heap and owned, with their names, by whoever holds the copy.
#pragma once

#include <memory>

#include "platform/ole.h"

namespace storage {

// Frees memory the platform allocated, through the cached task allocator
// (fetched on first use; EOleSysError when there is none).
void FreeTaskMemory(void* p);
// Releases the cached task allocator; at library unload.
void ReleaseTaskAllocator();

// Frees a heap STATSTG and the task-allocated name in it.
struct StatDeleter {
  void operator()(STATSTG* stat) const;
};
using StatCopy = std::unique_ptr<STATSTG, StatDeleter>;

// A zeroed heap STATSTG to be filled by a Stat call.
StatCopy NewStat();
// A heap copy of stat; the copy takes over stat's name.
StatCopy CopyStat(const STATSTG& stat);

}  // namespace storage
