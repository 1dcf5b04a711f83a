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

TEST(HeaderTime, IsUnixSecondsRoundedDownWhateverTheTimeZone) {
  static_assert(platform::kHeaderTimeEncoding == platform::HeaderTimeEncoding::kUnixUtc);
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const struct {
    const char* what;
    FILETIME utc;
    int32_t seconds;
  } cases[] = {
      {"epoch", At(0), 0},
      {"ordinary", At(981'173'106), 981'173'106},  // 2001-02-03 04:05:06
      {"just below the next second", At(981'173'106, kSecond - 1), 981'173'106},
      {"just before the epoch", At(0, -1), -1},
      {"last 32-bit second", At(kMax, kSecond - 1), kMax},
      {"first 32-bit second", At(kMin), kMin},
  };
  testing_support::ScopedEnv tz("TZ", "<+0530>-5:30");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(wcx::EncodeHeaderTime(c.utc), c.seconds);
    EXPECT_EQ(FileTimeToUInt64(wcx::DecodeHeaderTime(c.seconds)), FileTimeToUInt64(At(c.seconds)));
  }
}

TEST(HeaderTime, RaisesForTimesOutsideThe32BitRange) {
  const FILETIME cases[] = {
      At(std::numeric_limits<int32_t>::max() + int64_t{1}),
      At(std::numeric_limits<int32_t>::min(), -1),
      UInt64ToFileTime(0),
      UInt64ToFileTime(~uint64_t{0}),
  };
  for (const auto& utc : cases)
    EXPECT_THROW(wcx::EncodeHeaderTime(utc), rtl::Exception) << FileTimeToUInt64(utc);
}

}  // namespace
