#include "platform/windows/open_waiting_win.h"

#include <chrono>
#include <thread>

namespace platform {

HRESULT RetryWhileHeld(const QOR_KEEP_WAITING& keepWaiting, const std::function<HRESULT()>& open) {
  for (;;) {
    const HRESULT hr = open();
    const bool conflict = hr == STG_E_SHAREVIOLATION || hr == STG_E_LOCKVIOLATION;
    if (!conflict || !keepWaiting || !keepWaiting()) return hr;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace platform

HRESULT QorOpenStorageWaiting(const OLECHAR* pwcsName, DWORD grfMode,
                              const QOR_KEEP_WAITING& keepWaiting, IStorage** ppstgOpen) {
  return platform::RetryWhileHeld(keepWaiting, [&] {
    return StgOpenStorage(pwcsName, nullptr, grfMode, nullptr, 0, ppstgOpen);
  });
}
