#include "storage/access_options.h"

#include "platform/ole.h"

namespace storage {

uint32_t AccessToStgMode(TStgAccessOptions options) {
  if (options & aoCreate)
    return (options & aoFailIfThere ? STGM_FAILIFTHERE : STGM_CREATE) | STGM_SHARE_EXCLUSIVE |
           STGM_READWRITE;
  uint32_t mode = (options & aoTransacted) ? STGM_TRANSACTED : STGM_DIRECT;
  const bool read = options & aoRead, write = options & aoWrite;
  mode |= read && write ? STGM_READWRITE : write ? STGM_WRITE : STGM_READ;
  const bool denyRead = options & aoDenyRead, denyWrite = options & aoDenyWrite;
  mode |= denyRead && denyWrite ? STGM_SHARE_EXCLUSIVE
          : denyRead            ? STGM_SHARE_DENY_READ
          : denyWrite           ? STGM_SHARE_DENY_WRITE
                                : STGM_SHARE_DENY_NONE;
  return mode;
}

uint32_t ChildStgMode(TStgAccessOptions options) {
  return AccessToStgMode(static_cast<TStgAccessOptions>((options & ~aoCreate) | aoDenyRead |
                                                        aoDenyWrite));
}

}  // namespace storage
