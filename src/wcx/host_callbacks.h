// The host's two callbacks, in whichever form the host set them: the 8-bit
// one, the UTF-16 one, or both (a host of the W functions may set both; the
// UTF-16 one then carries the name exactly). Names are the plug-in's UTF-8,
// converted for the host here.
#pragma once

#include <cstdint>
#include <string>

#include "wcx/wcx_api.h"

namespace wcx {

struct HostCallbacks {
  tChangeVolProc changeVol = nullptr;
  tChangeVolProcW changeVolW = nullptr;
  tProcessDataProc processData = nullptr;
  tProcessDataProcW processDataW = nullptr;

  bool HasChangeVol() const { return changeVol || changeVolW; }
  bool HasProcessData() const { return processData || processDataW; }
  // Only when the host set the callback.
  int32_t ChangeVol(const std::string& arcName, int32_t mode) const;
  int32_t ProcessData(const std::string& fileName, int32_t size) const;
};

}  // namespace wcx
