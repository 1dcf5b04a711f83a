#include "wcx/date_time.h"

#include <chrono>
#include <cmath>

#include "platform/os.h"
#include "rtl/exceptions.h"

namespace wcx {
namespace {

using std::chrono::sys_days;

constexpr int64_t kMillisecondsPerDay = 86'400'000;
constexpr sys_days kDayZero = std::chrono::year{1899} / 12 / 30;
constexpr int64_t kFirstDay = (sys_days{std::chrono::year{1} / 1 / 1} - kDayZero).count();
constexpr int64_t kLastDay = (sys_days{std::chrono::year{9999} / 12 / 31} - kDayZero).count();

std::optional<std::chrono::year_month_day> ValidDate(uint16_t year, uint16_t month,
                                                     uint16_t day) {
  // The calendar types keep month and day in 8 bits: range-test them first.
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{month},
                                         std::chrono::day{day}};
  if (!date.ok()) return std::nullopt;
  return date;
}

const char* const kInvalidEncodeParams = "Invalid EncodeDateTime params";

}  // namespace

uint32_t PackDosDateTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                         uint16_t minute, uint16_t second) {
  return (static_cast<uint32_t>(year - 1980) << 25) | (uint32_t{month} << 21) |
         (uint32_t{day} << 16) | (uint32_t{hour} << 11) | (uint32_t{minute} << 5) |
         (uint32_t{second} >> 1);
}

DateTimeFields UnpackDosDateTime(uint32_t packed) {
  DateTimeFields fields;
  fields.year = static_cast<uint16_t>((packed >> 25) + 1980);
  fields.month = static_cast<uint16_t>((packed >> 21) & 0x0F);
  fields.day = static_cast<uint16_t>((packed >> 16) & 0x1F);
  fields.hour = static_cast<uint16_t>((packed >> 11) & 0x1F);
  fields.minute = static_cast<uint16_t>((packed >> 5) & 0x3F);
  fields.second = static_cast<uint16_t>((packed & 0x1F) * 2);
  return fields;
}

DateTimeFields SplitDateTime(TDayCount value) {
  // The bound keeps the millisecond count well inside 64 bits; the day range
  // is tested exactly below.
  if (!std::isfinite(value) || std::fabs(value) > double(kLastDay + 2)) return {};
  const auto total = static_cast<int64_t>(std::round(std::fabs(value) * kMillisecondsPerDay));
  const int64_t days = value < 0 ? -(total / kMillisecondsPerDay) : total / kMillisecondsPerDay;
  const int64_t milliseconds = total % kMillisecondsPerDay;
  if (days < kFirstDay || days > kLastDay) return {};

  const std::chrono::year_month_day date{kDayZero + std::chrono::days{days}};
  DateTimeFields fields;
  fields.year = static_cast<uint16_t>(static_cast<int>(date.year()));
  fields.month = static_cast<uint16_t>(static_cast<unsigned>(date.month()));
  fields.day = static_cast<uint16_t>(static_cast<unsigned>(date.day()));
  fields.hour = static_cast<uint16_t>(milliseconds / 3'600'000);
  fields.minute = static_cast<uint16_t>(milliseconds / 60'000 % 60);
  fields.second = static_cast<uint16_t>(milliseconds / 1'000 % 60);
  fields.millisecond = static_cast<uint16_t>(milliseconds % 1'000);
  return fields;
}

std::optional<TDayCount> TryEncodeDateTime(uint16_t year, uint16_t month, uint16_t day,
                                           uint16_t hour, uint16_t minute, uint16_t second,
                                           uint16_t millisecond) {
  const auto date = ValidDate(year, month, day);
  if (!date || hour > 23 || minute > 59 || second > 59 || millisecond > 999)
    return std::nullopt;
  const auto dayNumber = static_cast<double>((sys_days{*date} - kDayZero).count());
  const double time =
      static_cast<double>(((int64_t{hour} * 60 + minute) * 60 + second) * 1'000 + millisecond) /
      kMillisecondsPerDay;
  // Before day 0 the fraction still measures the time of day.
  return dayNumber >= 0 ? dayNumber + time : dayNumber - time;
}

TDayCount EncodeDateTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                         uint16_t minute, uint16_t second, uint16_t millisecond) {
  const auto value = TryEncodeDateTime(year, month, day, hour, minute, second, millisecond);
  if (!value) throw rtl::Exception(kInvalidEncodeParams);
  return *value;
}

uint32_t DateTimeToDosDateTime(TDayCount value) {
  const DateTimeFields f = SplitDateTime(value);
  return PackDosDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

TDayCount DosDateTimeToDateTime(uint32_t packed) {
  const DateTimeFields f = UnpackDosDateTime(packed);
  return EncodeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second, 0);
}

TDayCount FileTimeToDateTime(const FILETIME& time, bool toLocal) {
  FILETIME source = time;
  if (toLocal && !platform::FileTimeToLocalFileTime(time, source)) rtl::RaiseLastOSError();
  SYSTEMTIME system{};
  if (!platform::FileTimeToSystemTime(source, system)) rtl::RaiseLastOSError();
  const auto value = TryEncodeDateTime(system.wYear, system.wMonth, system.wDay, system.wHour,
                                       system.wMinute, system.wSecond, system.wMilliseconds);
  if (!value) throw rtl::EConvertError("Invalid argument to date encode");
  return *value;
}

FILETIME DateTimeToFileTime(TDayCount value, bool fromLocal) {
  const DateTimeFields f = SplitDateTime(value);
  SYSTEMTIME system{f.year, f.month, 0, f.day, f.hour, f.minute, f.second, f.millisecond};
  if (const auto date = ValidDate(f.year, f.month, f.day))
    system.wDayOfWeek = static_cast<WORD>(std::chrono::weekday{sys_days{*date}}.c_encoding());
  FILETIME result{};
  if (!platform::SystemTimeToFileTime(system, result)) rtl::RaiseLastOSError();
  if (fromLocal) {
    const FILETIME local = result;
    if (!platform::LocalFileTimeToFileTime(local, result)) rtl::RaiseLastOSError();
  }
  return result;
}

uint32_t UtcFileTimeToDosTime(const FILETIME& time) {
  return DateTimeToDosDateTime(FileTimeToDateTime(time, true));
}

FILETIME DosTimeToUtcFileTime(uint32_t packed) {
  return DateTimeToFileTime(DosDateTimeToDateTime(packed), true);
}

}  // namespace wcx
