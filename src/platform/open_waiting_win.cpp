// The system's structured storage answers a share conflict at once: the
// open is tried again while the caller waits.
#include <chrono>
#include <thread>

#include "platform/ole.h"

HRESULT QorOpenStorageWaiting(const OLECHAR* pwcsName, DWORD grfMode,
                              const QOR_KEEP_WAITING& keepWaiting, IStorage** ppstgOpen) {
  for (;;) {
    const HRESULT hr = StgOpenStorage(pwcsName, nullptr, grfMode, nullptr, 0, ppstgOpen);
    const bool conflict = hr == STG_E_SHAREVIOLATION || hr == STG_E_LOCKVIOLATION;
    if (!conflict || !keepWaiting || !keepWaiting()) return hr;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
