#include "rtl/persistent.h"

#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace rtl {

void TPersistent::AssignTo(TPersistent* dest) {
  std::string destName = dest ? dest->ClassName() : "nil";
  throw EConvertError(
      Format("Cannot assign a %s to a %s", ClassName().c_str(), destName.c_str()));
}

void TPersistent::Assign(TPersistent* source) {
  if (source) {
    source->AssignTo(this);
  } else {
    throw EConvertError(Format("Cannot assign a nil to a %s", ClassName().c_str()));
  }
}

}  // namespace rtl
