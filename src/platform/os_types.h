// The system's plain data types that cross the platform interface: file
// times and calendar times. On Windows they are the system's own.
#pragma once

#include <cstdint>

#ifdef _WIN32
// Only the two structures: <windows.h> would reach every layer that uses
// times, with its macros renaming functions of ours.
#include <windef.h>
#include <minwinbase.h>
#else
using DWORD = uint32_t;
using WORD = uint16_t;

// 100-nanosecond intervals since 1601-01-01, as two 32-bit halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
#endif

namespace platform {

inline uint64_t FileTimeToUInt64(const FILETIME& t) {
  return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

inline FILETIME UInt64ToFileTime(uint64_t v) {
  return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

}  // namespace platform
