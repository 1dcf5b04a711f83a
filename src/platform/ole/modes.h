// Which STGM combinations each call accepts, as the system's direct mode
// does, and the file lock that stands for a root's share mode.
#pragma once

#include "cfb/file_handle.h"
#include "platform/ole.h"

namespace platform::ole {

inline bool ModeWrites(DWORD mode) {
  return (mode & 3) != STGM_READ;
}
inline bool ModeTransacted(DWORD mode) {
  return (mode & STGM_TRANSACTED) != 0;
}

// S_OK or STG_E_INVALIDFLAG.
HRESULT CheckRootOpenMode(DWORD mode);
HRESULT CheckRootCreateMode(DWORD mode);
// Children are always exclusive; only Create* take STGM_CREATE.
HRESULT CheckChildMode(DWORD mode, bool creating);

cfb::ShareLock RootLock(DWORD mode);

}  // namespace platform::ole
