// The UTC/local and calendar conversions of file times: the system's own.
#include <windows.h>

#include "platform/os.h"

namespace platform {

bool FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
  return ::FileTimeToLocalFileTime(&utc, &local) != 0;
}

bool LocalFileTimeToFileTime(const FILETIME& local, FILETIME& utc) {
  return ::LocalFileTimeToFileTime(&local, &utc) != 0;
}

bool FileTimeToSystemTime(const FILETIME& time, SYSTEMTIME& system) {
  return ::FileTimeToSystemTime(&time, &system) != 0;
}

bool SystemTimeToFileTime(const SYSTEMTIME& system, FILETIME& time) {
  return ::SystemTimeToFileTime(&system, &time) != 0;
}

}  // namespace platform
