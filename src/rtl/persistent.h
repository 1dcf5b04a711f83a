// TPersistent: the base of objects that can copy their content into another
// object of a compatible class.
#pragma once

#include <string>

namespace rtl {

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Copies this object's content into dest; the base class refuses with
  // EConvertError "Cannot assign a %s to a %s".
  virtual void AssignTo(TPersistent* dest);
  // Takes source's content: source->AssignTo(this).
  void Assign(TPersistent* source);
  virtual std::string ClassName() const { return "TPersistent"; }
};

}  // namespace rtl
