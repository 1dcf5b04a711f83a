#include "platform/ole/modes.h"

namespace platform::ole {

namespace {

constexpr DWORD kAccessMask = 0x3;
constexpr DWORD kShareMask = 0x70;
constexpr DWORD kRootOpenBits =
    kAccessMask | kShareMask | STGM_TRANSACTED | STGM_PRIORITY | STGM_NOSCRATCH | STGM_NOSNAPSHOT;
constexpr DWORD kRootCreateBits = kAccessMask | kShareMask | STGM_TRANSACTED | STGM_CREATE |
                                  STGM_NOSCRATCH | STGM_NOSNAPSHOT | STGM_DELETEONRELEASE;

DWORD Access(DWORD mode) {
  return mode & kAccessMask;
}
DWORD Share(DWORD mode) {
  return mode & kShareMask;
}

}  // namespace

HRESULT CheckRootOpenMode(DWORD mode) {
  if ((mode & ~kRootOpenBits) != 0 || Access(mode) == kAccessMask) return STG_E_INVALIDFLAG;
  if (ModeTransacted(mode)) return Share(mode) == 0 ? STG_E_INVALIDFLAG : S_OK;
  const DWORD combo = Access(mode) | Share(mode);
  const bool allowed = combo == (STGM_READWRITE | STGM_SHARE_EXCLUSIVE) ||
                       combo == (STGM_READ | STGM_SHARE_DENY_WRITE) ||
                       combo == (STGM_READ | STGM_SHARE_EXCLUSIVE);
  return allowed ? S_OK : STG_E_INVALIDFLAG;
}

HRESULT CheckRootCreateMode(DWORD mode) {
  if ((mode & ~kRootCreateBits) != 0 || Access(mode) == kAccessMask) return STG_E_INVALIDFLAG;
  if (!ModeWrites(mode)) return STG_E_INVALIDFLAG;
  if (ModeTransacted(mode)) return Share(mode) == 0 ? STG_E_INVALIDFLAG : S_OK;
  return Share(mode) == STGM_SHARE_EXCLUSIVE ? S_OK : STG_E_INVALIDFLAG;
}

HRESULT CheckChildMode(DWORD mode, bool creating) {
  const DWORD allowed = kAccessMask | kShareMask | (creating ? STGM_CREATE : 0);
  if ((mode & ~allowed) != 0 || Access(mode) == kAccessMask) return STG_E_INVALIDFLAG;
  return Share(mode) == STGM_SHARE_EXCLUSIVE ? S_OK : STG_E_INVALIDFLAG;
}

cfb::ShareLock RootLock(DWORD mode) {
  // Two writers cannot share one file (each would overwrite the other's
  // commits), so every writer locks exclusively.
  if (ModeWrites(mode)) return cfb::ShareLock::kExclusive;
  const DWORD share = Share(mode);
  if (share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ)
    return cfb::ShareLock::kExclusive;
  return cfb::ShareLock::kShared;
}

}  // namespace platform::ole
