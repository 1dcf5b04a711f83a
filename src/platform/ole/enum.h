// IEnumSTATSTG over the children of a storage, in the order of its sibling
// tree, as they were when the enumeration began.
#pragma once

#include <utility>
#include <vector>

#include "platform/ole/com_object.h"
#include "platform/ole/shared_file.h"

namespace platform::ole {

class ElementEnum final : public ComObject<IEnumSTATSTG> {
 public:
  using Snapshot = std::vector<std::pair<uint32_t, uint64_t>>;  // id, stamp
  ElementEnum(ElementRef storage, Snapshot children, size_t position = 0);

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** ppenum) override;

 protected:
  bool Supports(REFIID riid) const override {
    return OneOf(riid, {IID_IUnknown, IID_IEnumSTATSTG});
  }

 private:
  ElementRef storage_;
  Snapshot children_;
  size_t position_;
};

}  // namespace platform::ole
