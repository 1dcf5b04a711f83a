#include "storagewcx/open_failure.h"

#include "platform/os.h"
#include "storage/struct_storage.h"
#include "wcx/wcx_api.h"

namespace storagewcx {

int32_t OpenFailureResult(HRESULT code, const std::string& arcName, OpenPurpose purpose) {
  if (storage::IsShareConflict(code)) return wcx::E_EOPEN;
  if (purpose == OpenPurpose::kCreate)
    return code == STG_E_FILEALREADYEXISTS ? wcx::E_EOPEN : wcx::E_ECREATE;
  switch (code) {
    // The system's answer for a file without the signature is "already
    // exists".
    case STG_E_FILEALREADYEXISTS:
    case STG_E_INVALIDHEADER:
    case STG_E_OLDFORMAT:
    case STG_E_OLDDLL:
      return wcx::E_UNKNOWN_FORMAT;
    case STG_E_ACCESSDENIED: {
      platform::File probe;
      return probe.Open(arcName, platform::File::Mode::kReadDenyWrite) ? wcx::E_EWRITE
                                                                       : wcx::E_EREAD;
    }
    default:
      return wcx::E_EREAD;
  }
}

}  // namespace storagewcx
