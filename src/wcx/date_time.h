// The date and time conversions of headers and extracted files: packed
// MS-DOS date and time (local), day counts, and platform file times (UTC).
// Every conversion goes through a TDayCount.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/os_types.h"

namespace wcx {

// Days since 1899-12-30 (day 0), the fraction being the part of the day that
// has passed. Before day 0 the value is the negative day number minus the
// fraction (1899-12-29 06:00 is -1.25). Proleptic Gregorian, years 1-9999.
using TDayCount = double;

// The fields of a calendar time. As produced by UnpackDosDateTime they are
// not validated (second runs to 62).
struct DateTimeFields {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t millisecond = 0;

  friend bool operator==(const DateTimeFields&, const DateTimeFields&) = default;
};

// Packs without range tests or masks: an odd second becomes the even one
// below, and the year keeps the low 7 bits of year - 1980 (1979 reads as
// 2107).
uint32_t PackDosDateTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                         uint16_t minute, uint16_t second);
DateTimeFields UnpackDosDateTime(uint32_t packed);

// Rounds to the nearest millisecond. A value outside the years 1-9999 (or
// not a number) gives all fields 0, which no conversion accepts.
DateTimeFields SplitDateTime(TDayCount value);

// nullopt for fields that are not a valid date and time of the years 1-9999.
std::optional<TDayCount> TryEncodeDateTime(uint16_t year, uint16_t month, uint16_t day,
                                           uint16_t hour, uint16_t minute, uint16_t second,
                                           uint16_t millisecond);
// Raises rtl::Exception "Invalid EncodeDateTime params" for invalid fields.
TDayCount EncodeDateTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                         uint16_t minute, uint16_t second, uint16_t millisecond);

// The millisecond is dropped, the second rounded down to even.
uint32_t DateTimeToDosDateTime(TDayCount value);
// Raises as EncodeDateTime for invalid packed fields (0 among them).
TDayCount DosDateTimeToDateTime(uint32_t packed);

// Raise rtl::EOSError when the platform conversions fail, and
// FileTimeToDateTime rtl::EConvertError for a year above 9999. The local
// conversions use the offset in effect when they run.
TDayCount FileTimeToDateTime(const FILETIME& time, bool toLocal);
FILETIME DateTimeToFileTime(TDayCount value, bool fromLocal);

// An element time (UTC) to the packed local time of a header, and back.
uint32_t UtcFileTimeToDosTime(const FILETIME& time);
FILETIME DosTimeToUtcFileTime(uint32_t packed);

}  // namespace wcx
