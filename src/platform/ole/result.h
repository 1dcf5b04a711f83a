// Engine errors as result codes: every COM-shaped call runs its body through
// Guarded, so that no exception crosses the interface.
#pragma once

#include <new>

#include "cfb/error.h"
#include "platform/ole.h"

namespace platform::ole {

HRESULT ResultOf(cfb::Errc code);

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const cfb::Error& e) {
    return ResultOf(e.code());
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  } catch (...) {
    return STG_E_UNKNOWN;
  }
}

}  // namespace platform::ole
