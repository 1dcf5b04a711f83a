// Exceptions that know the result code the host should see, and the one
// place where a caught exception becomes a result code.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/exceptions.h"

namespace wcx {

// Raised where a failure is known to mean one particular result: an
// archive that another program holds (E_EOPEN), content too large for the
// file (E_EWRITE), data that cannot be read (E_BAD_DATA).
class EWCXError : public rtl::Exception {
 public:
  EWCXError(int32_t code, const std::string& message) : Exception(message), code_(code) {}
  int32_t Code() const { return code_; }

 private:
  int32_t code_;
};

// The result code for the exception being handled: its own for EWCXError,
// E_EWRITE for a write that failed, E_ECREATE for a disk file that cannot
// be created, E_EOPEN for one another program holds and E_EREAD for one
// that cannot be opened otherwise, fallback for everything else. Only
// inside a catch block.
int32_t CurrentExceptionResult(int32_t fallback) noexcept;

}  // namespace wcx
