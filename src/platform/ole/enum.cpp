#include "platform/ole/enum.h"

#include "platform/ole/result.h"
#include "platform/ole/statstg.h"

namespace platform::ole {

ElementEnum::ElementEnum(ElementRef storage, Snapshot snapshot, size_t position)
    : storage_(std::move(storage)), snapshot_(std::move(snapshot)), position_(position) {}

HRESULT ElementEnum::Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) {
  if (pceltFetched) *pceltFetched = 0;
  ULONG fetched = 0;
  const HRESULT hr = Guarded([&] {
    if (!rgelt || (celt > 1 && !pceltFetched)) return STG_E_INVALIDPOINTER;
    cfb::CompoundFile* file = storage_.Live();
    if (!file) return STG_E_REVERTED;
    while (fetched < celt && position_ < snapshot_.children.size()) {
      const auto [id, stamp] = snapshot_.children[position_++];
      if (!file->IsLive(id, snapshot_.stamp_high | stamp)) continue;  // destroyed since the snapshot
      FillElementStat(*file, id, 0, STATFLAG_DEFAULT, rgelt[fetched]);
      ++fetched;
    }
    return fetched == celt ? S_OK : S_FALSE;
  });
  if (FAILED(hr)) {
    for (ULONG i = 0; i < fetched; ++i) {
      CoTaskMemFree(rgelt[i].pwcsName);
      rgelt[i].pwcsName = nullptr;
    }
    return hr;
  }
  if (pceltFetched) *pceltFetched = fetched;
  return hr;
}

HRESULT ElementEnum::Skip(ULONG celt) {
  cfb::CompoundFile* file = storage_.Live();
  if (!file) return STG_E_REVERTED;
  ULONG skipped = 0;
  while (skipped < celt && position_ < snapshot_.children.size()) {
    const auto [id, stamp] = snapshot_.children[position_++];
    if (file->IsLive(id, snapshot_.stamp_high | stamp)) ++skipped;
  }
  return skipped == celt ? S_OK : S_FALSE;
}

HRESULT ElementEnum::Reset() {
  position_ = 0;
  return storage_.Live() ? S_OK : STG_E_REVERTED;
}

HRESULT ElementEnum::Clone(IEnumSTATSTG** ppenum) {
  return Guarded([&] {
    if (!ppenum) return STG_E_INVALIDPOINTER;
    *ppenum = nullptr;
    if (!storage_.Live()) return STG_E_REVERTED;
    *ppenum = new ElementEnum(storage_, snapshot_, position_);
    return S_OK;
  });
}

}  // namespace platform::ole
