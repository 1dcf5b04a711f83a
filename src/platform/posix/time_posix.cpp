// The UTC/local and calendar conversions of file times on POSIX. They agree
// with the Windows calls: the local offset is the one in effect when the
// conversion runs (not the one at the converted moment), calendar times keep
// whole milliseconds, and only the years 1601 to 30827 are accepted.
#include <time.h>

#include <cerrno>
#include <chrono>

#include "platform/os.h"

namespace platform {
namespace {

using std::chrono::sys_days;

constexpr int64_t kTicksPerMillisecond = 10'000;
constexpr int64_t kTicksPerSecond = 1'000 * kTicksPerMillisecond;
constexpr int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;
constexpr sys_days kFileTimeEpoch = std::chrono::year{kFirstYear} / 1 / 1;
constexpr uint64_t kMaxTicks =
    static_cast<uint64_t>((sys_days{std::chrono::year{kLastYear + 1} / 1 / 1} - kFileTimeEpoch)
                              .count()) * kTicksPerDay - 1;

bool InvalidArgument() {
  errno = EINVAL;
  return false;
}

// The offset of local time from UTC now, daylight saving included, in ticks.
bool CurrentLocalOffset(int64_t& offset) {
  tzset();  // localtime_r alone would keep a TZ that changed since the first call
  time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return false;
  offset = int64_t{local.tm_gmtoff} * kTicksPerSecond;
  return true;
}

bool Shift(const FILETIME& in, int64_t offset, FILETIME& out) {
  uint64_t ticks = FileTimeToUInt64(in);
  if (ticks > kMaxTicks) return InvalidArgument();
  int64_t shifted = static_cast<int64_t>(ticks) + offset;
  if (shifted < 0 || static_cast<uint64_t>(shifted) > kMaxTicks) return InvalidArgument();
  out = UInt64ToFileTime(static_cast<uint64_t>(shifted));
  return true;
}

}  // namespace

bool FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
  int64_t offset = 0;
  return CurrentLocalOffset(offset) && Shift(utc, offset, local);
}

bool LocalFileTimeToFileTime(const FILETIME& local, FILETIME& utc) {
  int64_t offset = 0;
  return CurrentLocalOffset(offset) && Shift(local, -offset, utc);
}

bool FileTimeToSystemTime(const FILETIME& time, SYSTEMTIME& system) {
  uint64_t ticks = FileTimeToUInt64(time);
  if (ticks > kMaxTicks) return InvalidArgument();
  const auto day = kFileTimeEpoch + std::chrono::days{ticks / kTicksPerDay};
  const std::chrono::year_month_day date{day};
  const uint64_t milliseconds = ticks % kTicksPerDay / kTicksPerMillisecond;
  system.wYear = static_cast<WORD>(static_cast<int>(date.year()));
  system.wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
  system.wDayOfWeek = static_cast<WORD>(std::chrono::weekday{day}.c_encoding());
  system.wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
  system.wHour = static_cast<WORD>(milliseconds / 3'600'000);
  system.wMinute = static_cast<WORD>(milliseconds / 60'000 % 60);
  system.wSecond = static_cast<WORD>(milliseconds / 1'000 % 60);
  system.wMilliseconds = static_cast<WORD>(milliseconds % 1'000);
  return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME& system, FILETIME& time) {
  // The day of the week is ignored, as Windows does. month and day keep only
  // 8 bits, so they are range-tested before the calendar sees them.
  if (system.wYear < kFirstYear || system.wYear > kLastYear || system.wMonth > 12 ||
      system.wDay > 31 || system.wHour > 23 || system.wMinute > 59 || system.wSecond > 59 ||
      system.wMilliseconds > 999)
    return InvalidArgument();
  const std::chrono::year_month_day date{std::chrono::year{system.wYear},
                                         std::chrono::month{system.wMonth},
                                         std::chrono::day{system.wDay}};
  if (!date.ok()) return InvalidArgument();
  const auto days = (sys_days{date} - kFileTimeEpoch).count();
  const int64_t milliseconds =
      ((int64_t{system.wHour} * 60 + system.wMinute) * 60 + system.wSecond) * 1'000 +
      system.wMilliseconds;
  time = UInt64ToFileTime(static_cast<uint64_t>(days * kTicksPerDay +
                                                milliseconds * kTicksPerMillisecond));
  return true;
}

}  // namespace platform
