// The advisory locks that carry the share modes between opens of one file,
// in this process and in others. Holders keep a lock only while they use the
// file, so an open that meets a conflicting one waits for them, for as long
// as its caller wants; and a writer gets its turn even while readers keep coming: it
// closes a gate that new readers wait at, then waits for the readers inside
// to leave.
#pragma once

#include "cfb/file_handle.h"

namespace cfb {

enum class LockOutcome { kHeld, kInUse };

// Takes lock on the open file fd, waiting for other holders to let go while
// keepWaiting says so (without it, a short bounded time). writable: whether
// fd may write (a writer's gate needs it). Throws for failures other than a
// conflict.
LockOutcome AcquireShareLock(int fd, ShareLock lock, bool writable, const std::string& path,
                             const KeepWaiting& keepWaiting);

}  // namespace cfb
