// The host's two callbacks, each in the form the host set it last: the 8-bit
// one or the UTF-16 one. Setting one form drops the other, which may belong
// to an operation that has ended. Names are the plug-in's UTF-8, converted
// for the host here.
#pragma once

#include <cstdint>
#include <string>

#include "wcx/wcx_api.h"

namespace wcx {

// Plain function pointers only: the host's per-thread set lives in a
// thread_local, which must have no destructor (see wcx_root.cpp).
struct HostCallbacks {
  tChangeVolProc changeVol = nullptr;
  tChangeVolProcW changeVolW = nullptr;
  tProcessDataProc processData = nullptr;
  tProcessDataProcW processDataW = nullptr;

  // The change-volume and the process-data callbacks share their 8-bit
  // type, so the setters differ by name.
  void SetChangeVol(tChangeVolProc proc) { changeVol = proc, changeVolW = nullptr; }
  void SetChangeVol(tChangeVolProcW proc) { changeVolW = proc, changeVol = nullptr; }
  void SetProcessData(tProcessDataProc proc) { processData = proc, processDataW = nullptr; }
  void SetProcessData(tProcessDataProcW proc) { processDataW = proc, processData = nullptr; }

  bool HasChangeVol() const { return changeVol || changeVolW; }
  bool HasProcessData() const { return processData || processDataW; }
  // Only when the host set the callback.
  int32_t ChangeVol(const std::string& arcName, int32_t mode) const;
  int32_t ProcessData(const std::string& fileName, int32_t size) const;
};

}  // namespace wcx
