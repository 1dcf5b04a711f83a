#include "wcx/host_callbacks.h"

#include "wcx/host_strings.h"

namespace wcx {
namespace {

// The callback with the name in its form, as a buffer the host may write to.
template <class ProcA, class ProcW>
int32_t Call(ProcA procA, ProcW procW, const std::string& name, int32_t value) {
  if (procW) {
    std::u16string wide = ToHostWide(name);
    return procW(reinterpret_cast<WCHAR*>(wide.data()), value);
  }
  std::string ansi = ToHostAnsi(name);
  return procA(ansi.data(), value);
}

}  // namespace

int32_t HostCallbacks::ChangeVol(const std::string& arcName, int32_t mode) const {
  return Call(changeVol, changeVolW, arcName, mode);
}

int32_t HostCallbacks::ProcessData(const std::string& fileName, int32_t size) const {
  return Call(processData, processDataW, fileName, size);
}

}  // namespace wcx
