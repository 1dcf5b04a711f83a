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

// Raised by a store that cannot take the next source without knowing up
// front how many bytes the call adds (PlanAdding), before it changes
// anything for that source; never once the bytes are planned. Packing then
// undoes the call and makes it again with the bytes measured, a look at
// every source it spares otherwise.
class EPlanNeeded : public rtl::Exception {
 public:
  EPlanNeeded() : Exception("the bytes to add must be known before adding") {}
};

// The result code for the exception being handled: its own for EWCXError,
// E_EWRITE for a write that failed, E_ECREATE for a disk file that cannot
// be created, E_EOPEN for one another program holds and E_EREAD for one
// that cannot be opened otherwise, fallback for everything else. Only
// inside a catch block.
int32_t CurrentExceptionResult(int32_t fallback) noexcept;

}  // namespace wcx
