#include "platform/checked_open.h"

namespace platform {

HRESULT OpenCheckedStorage(const OLECHAR* name, DWORD mode, const QOR_KEEP_WAITING& keepWaiting,
                           IStorage** storage, DamagedStreams& damaged) {
  damaged.clear();
  return QorOpenStorageWaiting(name, mode, keepWaiting, storage);
}

}  // namespace platform
