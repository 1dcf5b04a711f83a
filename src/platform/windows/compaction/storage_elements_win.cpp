#include "platform/windows/compaction/storage_elements_win.h"

#include <algorithm>
#include <memory>

#include "platform/com_ptr.h"

namespace platform::compaction {
namespace {

Element FromStat(const STATSTG& stat) {
  Element element;
  if (stat.pwcsName) element.name = stat.pwcsName;
  element.type = stat.type;
  element.size = stat.cbSize.QuadPart;
  element.clsid = stat.clsid;
  element.stateBits = stat.grfStateBits;
  element.ctime = stat.ctime;
  element.mtime = stat.mtime;
  return element;
}

}  // namespace

HRESULT ListElements(IStorage* storage, std::vector<Element>& elements) {
  elements.clear();
  ComPtr<IEnumSTATSTG> enumerator;
  HRESULT hr = storage->EnumElements(0, nullptr, 0, enumerator.Receive());
  if (FAILED(hr)) return hr;
  for (;;) {
    STATSTG stat{};
    ULONG fetched = 0;
    hr = enumerator->Next(1, &stat, &fetched);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || fetched != 1) break;
    const std::unique_ptr<OLECHAR, decltype(&CoTaskMemFree)> name(stat.pwcsName, CoTaskMemFree);
    elements.push_back(FromStat(stat));
  }
  std::sort(elements.begin(), elements.end(),
            [](const Element& a, const Element& b) { return a.name < b.name; });
  return S_OK;
}

HRESULT StatStorage(IStorage* storage, Element& element) {
  STATSTG stat{};
  const HRESULT hr = storage->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  element = FromStat(stat);
  return S_OK;
}

}  // namespace platform::compaction
