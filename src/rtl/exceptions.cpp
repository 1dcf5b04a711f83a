#include "rtl/exceptions.h"

#include "platform/os.h"
#include "rtl/format.h"

namespace rtl {

EListError::EListError(int64_t index)
    : Exception(Format("List index out of bounds (%lld)", static_cast<long long>(index))) {}

EOSError::EOSError(uint32_t code)
    : Exception(code == 0 ? std::string("A call to an OS function failed")
                          : Format("System Error.  Code: %u.\r\n%s", code,
                                   platform::SysErrorMessage(code).c_str())),
      code_(code) {}

void RaiseLastOSError() { throw EOSError(platform::GetLastError()); }

EOleSysError::EOleSysError(int32_t code)
    : Exception(platform::SysErrorMessage(static_cast<uint32_t>(code))), code_(code) {}

EFCreateError::EFCreateError(const std::string& fileName, uint32_t code)
    : EStreamError(Format("Cannot create file \"%s\". %s", fileName.c_str(),
                          platform::SysErrorMessage(code).c_str())) {}

EFOpenError::EFOpenError(const std::string& fileName, uint32_t code)
    : EStreamError(Format("Cannot open file \"%s\". %s", fileName.c_str(),
                          platform::SysErrorMessage(code).c_str())),
      code_(code) {}

}  // namespace rtl
