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
  // The children as the enumeration began: 8 bytes each, for a storage may
  // hold millions. Their stamps share the high half (CompoundFile::Stamp).
  struct Snapshot {
    uint64_t stamp_high = 0;
    std::vector<std::pair<uint32_t, uint32_t>> children;  // id, low half of the stamp
  };
  ElementEnum(ElementRef storage, Snapshot snapshot, size_t position = 0);

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
  Snapshot snapshot_;
  size_t position_;
};

}  // namespace platform::ole
