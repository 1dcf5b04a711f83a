// The POSIX time conversions must agree with the Windows calls they stand in
// for: calendar fields, millisecond truncation, the range 1601-30827, and the
// UTC offset in effect when the conversion runs.
#include <gtest/gtest.h>
#include <time.h>

#include <cerrno>
#include <optional>

#include "platform/os.h"
#include "scoped_env.h"

namespace {

using platform::FileTimeToUInt64;
using platform::UInt64ToFileTime;
using testing_support::ScopedEnv;

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kUnixEpoch = 116'444'736'000'000'000;
constexpr uint64_t k20010203_040506 = 126'256'467'060'000'000;
constexpr uint64_t kLastTick = 0x7FFF35F4F06C7FFF;  // 30827-12-31 23:59:59.9999999

struct CalendarCase {
  const char* what;
  uint64_t ticks;
  SYSTEMTIME fields;  // year, month, day of week, day, hour, minute, second, ms
};

const CalendarCase kCalendarCases[] = {
    {"first tick", 0, {1601, 1, 1, 1, 0, 0, 0, 0}},
    {"Unix epoch", kUnixEpoch, {1970, 1, 4, 1, 0, 0, 0, 0}},
    {"ordinary", k20010203_040506, {2001, 2, 6, 3, 4, 5, 6, 0}},
    {"leap day", 125'962'560'000'000'000, {2000, 2, 2, 29, 0, 0, 0, 0}},
    {"milliseconds kept", k20010203_040506 + 7'890'000, {2001, 2, 6, 3, 4, 5, 6, 789}},
    {"below a millisecond dropped", k20010203_040506 + 9'999, {2001, 2, 6, 3, 4, 5, 6, 0}},
    {"last tick", kLastTick, {30827, 12, 5, 31, 23, 59, 59, 999}},
};

bool SameFields(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek &&
         a.wDay == b.wDay && a.wHour == b.wHour && a.wMinute == b.wMinute &&
         a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

TEST(FileTimeToSystemTime, GivesCalendarFieldsTruncatedToTheMillisecond) {
  for (const auto& c : kCalendarCases) {
    SCOPED_TRACE(c.what);
    SYSTEMTIME system{};
    ASSERT_TRUE(platform::FileTimeToSystemTime(UInt64ToFileTime(c.ticks), system));
    EXPECT_TRUE(SameFields(system, c.fields)) << system.wYear << "-" << system.wMonth << "-"
                                              << system.wDay << " dow " << system.wDayOfWeek;
  }
}

TEST(FileTimeToSystemTime, FailsAfterTheYear30827) {
  for (uint64_t ticks : {kLastTick + 1, uint64_t{0x8000000000000000}, ~uint64_t{0}}) {
    SYSTEMTIME system{};
    errno = 0;
    EXPECT_FALSE(platform::FileTimeToSystemTime(UInt64ToFileTime(ticks), system)) << ticks;
    EXPECT_EQ(platform::GetLastError(), uint32_t{EINVAL});
  }
}

TEST(SystemTimeToFileTime, InvertsTheCalendarFields) {
  for (const auto& c : kCalendarCases) {
    SCOPED_TRACE(c.what);
    SYSTEMTIME fields = c.fields;
    fields.wDayOfWeek = 0;  // ignored
    FILETIME time{};
    ASSERT_TRUE(platform::SystemTimeToFileTime(fields, time));
    EXPECT_EQ(FileTimeToUInt64(time), c.ticks - c.ticks % 10'000);
  }
}

TEST(SystemTimeToFileTime, RejectsInvalidFields) {
  const struct {
    const char* what;
    SYSTEMTIME fields;
  } cases[] = {
      {"year 1600", {1600, 12, 0, 31, 23, 59, 59, 999}},
      {"year 30828", {30828, 1, 0, 1, 0, 0, 0, 0}},
      {"month 0", {2001, 0, 0, 1, 0, 0, 0, 0}},
      {"month 13", {2001, 13, 0, 1, 0, 0, 0, 0}},
      {"month 257 (1 in 8 bits)", {2001, 257, 0, 1, 0, 0, 0, 0}},
      {"day 0", {2001, 1, 0, 0, 0, 0, 0, 0}},
      {"day 257 (1 in 8 bits)", {2001, 1, 0, 257, 0, 0, 0, 0}},
      {"29 February 2001", {2001, 2, 0, 29, 0, 0, 0, 0}},
      {"29 February 1900", {1900, 2, 0, 29, 0, 0, 0, 0}},
      {"31 April", {2001, 4, 0, 31, 0, 0, 0, 0}},
      {"hour 24", {2001, 1, 0, 1, 24, 0, 0, 0}},
      {"minute 60", {2001, 1, 0, 1, 0, 60, 0, 0}},
      {"second 60", {2001, 1, 0, 1, 0, 0, 60, 0}},
      {"millisecond 1000", {2001, 1, 0, 1, 0, 0, 0, 1000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FILETIME time{};
    errno = 0;
    EXPECT_FALSE(platform::SystemTimeToFileTime(c.fields, time));
    EXPECT_EQ(platform::GetLastError(), uint32_t{EINVAL});
  }
}

// The offset of local time now, as the C library sees it under the current TZ.
int64_t OffsetNowInTicks() {
  tzset();
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return int64_t{local.tm_gmtoff} * int64_t{kTicksPerSecond};
}

TEST(LocalFileTime, AppliesTheOffsetInEffectNowToEveryMoment) {
  constexpr uint64_t kJanuary = 132'539'328'000'000'000;  // 2021-01-01 00:00 UTC
  constexpr uint64_t kJuly = 132'695'712'000'000'000;     // 2021-07-01 00:00 UTC
  const struct {
    const char* tz;
    std::optional<int64_t> minutes;  // none: whichever the rule gives today
  } zones[] = {
      {"UTC0", 0},
      {"<+0530>-5:30", 330},
      {"EST5EDT,0/0,J365/25", -240},  // daylight saving all year round
      {"CET-1CEST,M3.5.0,M10.5.0/3", std::nullopt},
  };
  for (const auto& zone : zones) {
    SCOPED_TRACE(zone.tz);
    ScopedEnv tz("TZ", zone.tz);
    const int64_t offset = OffsetNowInTicks();
    if (zone.minutes) {
      EXPECT_EQ(offset, *zone.minutes * 60 * int64_t{kTicksPerSecond});
    }
    for (uint64_t moment : {kJanuary, kJuly}) {
      FILETIME local{}, utc{};
      ASSERT_TRUE(platform::FileTimeToLocalFileTime(UInt64ToFileTime(moment), local));
      EXPECT_EQ(static_cast<int64_t>(FileTimeToUInt64(local) - moment), offset);
      ASSERT_TRUE(platform::LocalFileTimeToFileTime(local, utc));
      EXPECT_EQ(FileTimeToUInt64(utc), moment);
    }
  }
}

TEST(LocalFileTime, FailsWhenTheShiftLeavesTheRange) {
  FILETIME out{};
  {
    ScopedEnv tz("TZ", "<-05>5");
    EXPECT_FALSE(platform::FileTimeToLocalFileTime(UInt64ToFileTime(0), out));
    EXPECT_FALSE(platform::LocalFileTimeToFileTime(UInt64ToFileTime(kLastTick), out));
  }
  {
    ScopedEnv tz("TZ", "<+05>-5");
    EXPECT_FALSE(platform::FileTimeToLocalFileTime(UInt64ToFileTime(kLastTick), out));
    EXPECT_FALSE(platform::LocalFileTimeToFileTime(UInt64ToFileTime(0), out));
    EXPECT_FALSE(platform::FileTimeToLocalFileTime(UInt64ToFileTime(~uint64_t{0}), out));
    EXPECT_EQ(platform::GetLastError(), uint32_t{EINVAL});
  }
}

}  // namespace
