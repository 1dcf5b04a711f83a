#include "platform/ole/result.h"

namespace platform::ole {

HRESULT ResultOf(cfb::Errc code) {
  using cfb::Errc;
  switch (code) {
    case Errc::kFileNotFound:
    case Errc::kNotFound:
      return STG_E_FILENOTFOUND;
    case Errc::kPathNotFound:
      return STG_E_PATHNOTFOUND;
    case Errc::kAccessDenied:
      return STG_E_ACCESSDENIED;
    case Errc::kShareViolation:
      return STG_E_SHAREVIOLATION;
    case Errc::kAlreadyExists:
    case Errc::kNotCompoundFile:
      return STG_E_FILEALREADYEXISTS;
    case Errc::kInvalidHeader:
      return STG_E_INVALIDHEADER;
    case Errc::kCorrupt:
      return STG_E_DOCFILECORRUPT;
    case Errc::kInvalidName:
      return STG_E_INVALIDNAME;
    case Errc::kMediumFull:
      return STG_E_MEDIUMFULL;
    case Errc::kReadFault:
      return STG_E_READFAULT;
    case Errc::kWriteFault:
      return STG_E_WRITEFAULT;
    case Errc::kInvalidArgument:
      return STG_E_INVALIDPARAMETER;
  }
  return STG_E_UNKNOWN;
}

}  // namespace platform::ole
