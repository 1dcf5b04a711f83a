// Progress and cancelling through the plug-in's callbacks. The process-data
// callback counts the bytes the plug-in reports, draws a bar on standard
// error when that is a terminal, and answers 0 ("stop") once a cancel was
// requested: by Ctrl-C, or by the test hook that cancels after a number of
// callbacks.
#pragma once

#include <cstdint>
#include <string>

#include "wcx/wcx_api.h"

namespace wcxhost {

// Called once before any plug-in call. With cancel_after >= 0 the callback
// number cancel_after + 1 requests the cancel.
void SetUpProgress(bool show_bar, int64_t cancel_after);

bool CancelRequested();

// One line on standard error, "wcxhost: <message>", erasing the bar first.
void PrintMessage(const std::string& message);

// The callbacks the host hands to every plug-in.
int32_t WCX_API OnProcessData(char* file_name, int32_t size);
int32_t WCX_API OnChangeVolume(char* arc_name, int32_t mode);
int32_t WCX_API OnProcessDataW(wcx::WCHAR* file_name, int32_t size);
int32_t WCX_API OnChangeVolumeW(wcx::WCHAR* arc_name, int32_t mode);

// One operation whose progress is shown; the bar is erased when it ends.
class ProgressScope {
 public:
  explicit ProgressScope(uint64_t total_bytes);  // 0 when unknown
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
};

}  // namespace wcxhost
