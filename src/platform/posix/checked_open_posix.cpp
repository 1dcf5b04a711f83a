#include "platform/checked_open.h"

namespace platform {

HRESULT OpenCheckedStorage(const OLECHAR* name, DWORD mode, IStorage** storage,
                           DamagedStreams& damaged) {
  damaged.clear();
  return StgOpenStorage(name, nullptr, mode, nullptr, 0, storage);
}

}  // namespace platform
