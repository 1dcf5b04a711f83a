#include "wcx/wcx_error.h"

#include <exception>

#include "platform/os.h"
#include "wcx/wcx_api.h"

namespace wcx {

int32_t CurrentExceptionResult(int32_t fallback) noexcept {
  try {
    throw;
  } catch (const EWCXError& error) {
    return error.Code();
  } catch (const rtl::EWriteError&) {
    return E_EWRITE;
  } catch (const rtl::EFCreateError&) {
    return E_ECREATE;
  } catch (const rtl::EFOpenError& error) {
    return platform::IsShareConflictError(error.ErrorCode()) ? E_EOPEN : E_EREAD;
  } catch (...) {
    return fallback;
  }
}

}  // namespace wcx
