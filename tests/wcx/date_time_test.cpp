// Packed DOS times, day counts and file times, one table per conversion.
#include "wcx/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "scoped_env.h"

namespace {

using platform::FileTimeToUInt64;
using platform::UInt64ToFileTime;
using testing_support::ScopedEnv;
using wcx::DateTimeFields;

constexpr uint64_t kTicksPerMillisecond = 10'000;
constexpr uint64_t k20010203_040506 = 126'256'467'060'000'000;  // UTC
constexpr double kOneMillisecond = 1.0 / 86'400'000;

// Runs fn and gives the message of the rtl::Exception it raises, or
// "no exception".
template <typename Fn>
std::string RaisedMessage(Fn&& fn) {
  try {
    fn();
  } catch (const rtl::Exception& e) {
    return e.Message();
  }
  return "no exception";
}

TEST(PackDosDateTime, PacksWithoutRangeTests) {
  const struct {
    DateTimeFields fields;
    uint32_t packed;
  } cases[] = {
      {{2001, 2, 3, 4, 5, 6}, 0x2A4320A3},
      {{2001, 2, 3, 4, 5, 7}, 0x2A4320A3},  // odd second rounds down
      {{1980, 1, 1, 0, 0, 0}, 0x00210000},
      {{2107, 12, 31, 23, 59, 58}, 0xFF9FBF7D},
      {{1979, 1, 1, 0, 0, 0}, 0xFE210000},  // year wraps to 2107
      {{2108, 1, 1, 0, 0, 0}, 0x00210000},  // and to 1980
  };
  for (const auto& c : cases) {
    const auto& f = c.fields;
    EXPECT_EQ(wcx::PackDosDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second), c.packed)
        << f.year << "-" << f.month << "-" << f.day;
  }
}

TEST(UnpackDosDateTime, ReadsTheFieldsUnvalidated) {
  const struct {
    uint32_t packed;
    DateTimeFields fields;
  } cases[] = {
      {0x2A4320A3, {2001, 2, 3, 4, 5, 6}},
      {0x00210000, {1980, 1, 1, 0, 0, 0}},
      {0xFF9FBF7D, {2107, 12, 31, 23, 59, 58}},
      {0xFE210000, {2107, 1, 1, 0, 0, 0}},
      {0x0000001F, {1980, 0, 0, 0, 0, 62}},
      {0x01FFFFFF, {1980, 15, 31, 31, 63, 62}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(wcx::UnpackDosDateTime(c.packed), c.fields) << std::hex << c.packed;
}

TEST(SplitDateTime, RoundsToTheNearestMillisecond) {
  const double k20010203_060506 = 36925 + (6 * 3600 + 5 * 60 + 6) / 86400.0;
  const struct {
    const char* what;
    double value;
    DateTimeFields fields;
  } cases[] = {
      {"day zero", 0, {1899, 12, 30, 0, 0, 0, 0}},
      {"1980", 29221.25, {1980, 1, 1, 6, 0, 0, 0}},
      {"ordinary", k20010203_060506, {2001, 2, 3, 6, 5, 6, 0}},
      {"0.4 ms short of a second", k20010203_060506 - 0.4 * kOneMillisecond, {2001, 2, 3, 6, 5, 6, 0}},
      {"0.6 ms past a second", k20010203_060506 + 0.6 * kOneMillisecond, {2001, 2, 3, 6, 5, 6, 1}},
      {"0.4 ms short of midnight", 36926 - 0.4 * kOneMillisecond, {2001, 2, 4, 0, 0, 0, 0}},
      {"before day zero", -1.25, {1899, 12, 29, 6, 0, 0, 0}},
      {"first day", -693593, {1, 1, 1, 0, 0, 0, 0}},
      {"last millisecond", 2958466 - kOneMillisecond, {9999, 12, 31, 23, 59, 59, 999}},
      {"rounds into the year 10000", 2958466 - 0.1 * kOneMillisecond, {}},
      {"before the year 1", -693594, {}},
      {"huge", 1e300, {}},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), {}},
      {"infinite", -std::numeric_limits<double>::infinity(), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(wcx::SplitDateTime(c.value), c.fields) << c.what;
}

TEST(TryEncodeDateTime, AcceptsValidFieldsOnly) {
  const struct {
    const char* what;
    DateTimeFields fields;
    std::optional<double> value;
  } cases[] = {
      {"day zero", {1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {"1980", {1980, 1, 1, 6, 0, 0, 0}, 29221.25},
      {"before day zero", {1899, 12, 29, 6, 0, 0, 0}, -1.25},
      {"first day", {1, 1, 1, 0, 0, 0, 0}, -693593.0},
      {"last day", {9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
      {"leap day 2000", {2000, 2, 29, 0, 0, 0, 0}, 36585.0},
      {"year 0", {0, 1, 1, 0, 0, 0, 0}, std::nullopt},
      {"year 10000", {10000, 1, 1, 0, 0, 0, 0}, std::nullopt},
      {"month 0", {2001, 0, 1, 0, 0, 0, 0}, std::nullopt},
      {"month 13", {2001, 13, 1, 0, 0, 0, 0}, std::nullopt},
      {"month 257, 1 in 8 bits", {2001, 257, 1, 0, 0, 0, 0}, std::nullopt},
      {"day 0", {2001, 1, 0, 0, 0, 0, 0}, std::nullopt},
      {"day 257, 1 in 8 bits", {2001, 1, 257, 0, 0, 0, 0}, std::nullopt},
      {"29 February 2001", {2001, 2, 29, 0, 0, 0, 0}, std::nullopt},
      {"29 February 1900", {1900, 2, 29, 0, 0, 0, 0}, std::nullopt},
      {"hour 24", {2001, 1, 1, 24, 0, 0, 0}, std::nullopt},
      {"minute 60", {2001, 1, 1, 0, 60, 0, 0}, std::nullopt},
      {"second 60", {2001, 1, 1, 0, 0, 60, 0}, std::nullopt},
      {"millisecond 1000", {2001, 1, 1, 0, 0, 0, 1000}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto& f = c.fields;
    const auto value =
        wcx::TryEncodeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second, f.millisecond);
    EXPECT_EQ(value, c.value);
    if (c.value) {
      EXPECT_EQ(wcx::SplitDateTime(*value), f);
      EXPECT_EQ(wcx::EncodeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second,
                                    f.millisecond),
                *value);
    } else {
      EXPECT_EQ(RaisedMessage([&] {
                  wcx::EncodeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second,
                                      f.millisecond);
                }),
                "Invalid EncodeDateTime params");
    }
  }
}

TEST(DosDateTimeToDateTime, ConvertsValidPackedValuesAndBack) {
  const struct {
    uint32_t packed;
    DateTimeFields fields;
  } cases[] = {
      {0x2A4320A3, {2001, 2, 3, 4, 5, 6}},
      {0x00210000, {1980, 1, 1, 0, 0, 0}},
      {0xFF9FBF7D, {2107, 12, 31, 23, 59, 58}},
  };
  for (const auto& c : cases) {
    const auto& f = c.fields;
    const double value = wcx::DosDateTimeToDateTime(c.packed);
    EXPECT_EQ(value, wcx::EncodeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second, 0));
    EXPECT_EQ(wcx::DateTimeToDosDateTime(value), c.packed);
  }
  EXPECT_EQ(wcx::DateTimeToDosDateTime(wcx::EncodeDateTime(1979, 1, 1, 0, 0, 0, 0)), 0xFE210000);
  // The millisecond is dropped, not rounded.
  EXPECT_EQ(wcx::DateTimeToDosDateTime(wcx::EncodeDateTime(2001, 2, 3, 4, 5, 7, 999)), 0x2A4320A3);
}

TEST(DosDateTimeToDateTime, RejectsInvalidPackedFields) {
  const uint32_t cases[] = {
      0x00000000,  // month 0
      0x0021001E,  // second field 30
      0x0021001F,  // second field 31
      0x00200000,  // day 0
      0x01A10000,  // month 13
      0x005E0000,  // 30 February
      0x0021C000,  // hour 24
      0x00210780,  // minute 60
  };
  for (uint32_t packed : cases) {
    EXPECT_EQ(RaisedMessage([&] { wcx::DosDateTimeToDateTime(packed); }),
              "Invalid EncodeDateTime params")
        << std::hex << packed;
    EXPECT_EQ(RaisedMessage([&] { wcx::DosTimeToUtcFileTime(packed); }),
              "Invalid EncodeDateTime params")
        << std::hex << packed;
  }
}

TEST(FileTimeToDateTime, KeepsMillisecondsAndCoversTheWholeRange) {
  const struct {
    const char* what;
    uint64_t ticks;
    DateTimeFields fields;
  } cases[] = {
      {"ordinary", k20010203_040506, {2001, 2, 3, 4, 5, 6, 0}},
      {"milliseconds", k20010203_040506 + 7'899'999, {2001, 2, 3, 4, 5, 6, 789}},
      {"first tick", 0, {1601, 1, 1, 0, 0, 0, 0}},
      {"last tick of 9999", 2'650'467'743'999'999'999, {9999, 12, 31, 23, 59, 59, 999}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const double value = wcx::FileTimeToDateTime(UInt64ToFileTime(c.ticks), false);
    EXPECT_EQ(wcx::SplitDateTime(value), c.fields);
    EXPECT_EQ(FileTimeToUInt64(wcx::DateTimeToFileTime(value, false)),
              c.ticks - c.ticks % kTicksPerMillisecond);
  }
}

TEST(FileTimeToDateTime, RaisesForTimesOutsideTheRange) {
  EXPECT_EQ(RaisedMessage([] {
              wcx::FileTimeToDateTime(UInt64ToFileTime(2'650'467'744'000'000'000), false);
            }),
            "Invalid argument to date encode");
  EXPECT_THROW(wcx::FileTimeToDateTime(UInt64ToFileTime(~uint64_t{0}), false), rtl::EOSError);
  EXPECT_THROW(wcx::DateTimeToFileTime(wcx::EncodeDateTime(1600, 12, 31, 0, 0, 0, 0), false),
               rtl::EOSError);
  EXPECT_THROW(wcx::DateTimeToFileTime(std::nan(""), false), rtl::EOSError);
  ScopedEnv tz("TZ", "<-05>5");
  EXPECT_THROW(wcx::FileTimeToDateTime(UInt64ToFileTime(0), true), rtl::EOSError);
}

TEST(UtcFileTimeToDosTime, ConvertsWithTheCurrentLocalOffset) {
  const struct {
    const char* tz;
    uint64_t utc;
    uint32_t packed;
  } cases[] = {
      {"UTC0", k20010203_040506 + 9'999'999, 0x2A4320A3},  // truncated, not rounded
      {"<+0530>-5:30", k20010203_040506, 0x2A434C63},        // 09:35:06
      {"<-05>5", k20010203_040506, 0x2A42B8A3},              // 2 February 23:05:06
      {"EST5EDT,0/0,J365/25", k20010203_040506, 0x2A4300A3},  // daylight saving: 00:05:06
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tz);
    ScopedEnv tz("TZ", c.tz);
    EXPECT_EQ(wcx::UtcFileTimeToDosTime(UInt64ToFileTime(c.utc)), c.packed);
    EXPECT_EQ(FileTimeToUInt64(wcx::DosTimeToUtcFileTime(c.packed)),
              c.utc - c.utc % (2 * 10'000'000));
  }
}

TEST(UtcFileTimeToDosTime, RoundTripsAcrossADaylightSavingChange) {
  // Central Europe, 2021: summer time from 28 March 01:00 UTC to 31 October
  // 01:00 UTC. Both directions use today's offset, so every moment comes
  // back, truncated to its even second.
  ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  constexpr uint64_t kSpringChange = 132'613'668'000'000'000;
  constexpr uint64_t kAutumnChange = 132'801'156'000'000'000;
  constexpr uint64_t kSecond = 10'000'000;
  for (uint64_t change : {kSpringChange, kAutumnChange}) {
    for (uint64_t utc : {change - 3601 * kSecond - 1, change - 1, change, change + kSecond + 1,
                         change + 3600 * kSecond + 12'345}) {
      const uint32_t packed = wcx::UtcFileTimeToDosTime(UInt64ToFileTime(utc));
      EXPECT_EQ(FileTimeToUInt64(wcx::DosTimeToUtcFileTime(packed)), utc - utc % (2 * kSecond))
          << utc;
    }
  }
}

}  // namespace
