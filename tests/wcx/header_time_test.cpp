// The header FileTime as this host reads it: Unix seconds, UTC.
#include "wcx/header_time.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "scoped_env.h"

namespace {

using platform::FileTimeToUInt64;
using platform::UInt64ToFileTime;

constexpr int64_t kSecond = 10'000'000;
constexpr int64_t kUnixEpoch = 116'444'736'000'000'000;

FILETIME At(int64_t seconds, int64_t extraTicks = 0) {
  return UInt64ToFileTime(static_cast<uint64_t>(kUnixEpoch + seconds * kSecond + extraTicks));
}

// Unsigned, as wcxhost and Double Commander read the field: 1970 to 2106.
TEST(HeaderTime, IsUnsignedUnixSecondsRoundedDownWhateverTheTimeZone) {
  static_assert(platform::kHeaderTimeEncoding == platform::HeaderTimeEncoding::kUnixUtc);
  constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
  const struct {
    const char* what;
    FILETIME utc;
    uint32_t seconds;
  } cases[] = {
      {"epoch", At(0), 0},
      {"ordinary", At(981'173'106), 981'173'106},  // 2001-02-03 04:05:06
      {"just below the next second", At(981'173'106, kSecond - 1), 981'173'106},
      {"past January 2038", At(2'208'988'800), 2'208'988'800},  // 2040-01-01
      {"last 32-bit second, in 2106", At(kMax, kSecond - 1), kMax},
  };
  testing_support::ScopedEnv tz("TZ", "<+0530>-5:30");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(static_cast<uint32_t>(wcx::EncodeHeaderTime(c.utc)), c.seconds);
  }
}

TEST(HeaderTime, RaisesForTimesOutsideTheUnsigned32BitRange) {
  const FILETIME cases[] = {
      At(std::numeric_limits<uint32_t>::max() + int64_t{1}),
      At(0, -1),
      UInt64ToFileTime(0),
      UInt64ToFileTime(~uint64_t{0}),
  };
  for (const auto& utc : cases)
    EXPECT_THROW(wcx::EncodeHeaderTime(utc), rtl::Exception) << FileTimeToUInt64(utc);
}

}  // namespace
