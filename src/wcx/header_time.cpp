#include "wcx/header_time.h"

#include <limits>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "wcx/date_time.h"

namespace wcx {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
// 1970-01-01 as a FILETIME.
constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;

int32_t FileTimeToUnixTime(const FILETIME& utc) {
  const uint64_t ticks = platform::FileTimeToUInt64(utc);
  if (ticks > uint64_t{std::numeric_limits<int64_t>::max()})
    throw rtl::EConvertError("Invalid argument to date encode");
  const int64_t sinceEpoch = static_cast<int64_t>(ticks) - kUnixEpochTicks;
  // Rounded down, as the DOS encoding rounds down to its even second.
  int64_t seconds = sinceEpoch / kTicksPerSecond;
  if (sinceEpoch % kTicksPerSecond < 0) --seconds;
  if (seconds < std::numeric_limits<int32_t>::min() ||
      seconds > std::numeric_limits<int32_t>::max())
    throw rtl::EConvertError("Invalid argument to date encode");
  return static_cast<int32_t>(seconds);
}

FILETIME UnixTimeToFileTime(int32_t seconds) {
  // Every 32-bit Unix time lies between 1901 and 2038.
  return platform::UInt64ToFileTime(
      static_cast<uint64_t>(int64_t{seconds} * kTicksPerSecond + kUnixEpochTicks));
}

}  // namespace

int32_t EncodeHeaderTime(const FILETIME& utc) {
  if constexpr (platform::kHeaderTimeEncoding == platform::HeaderTimeEncoding::kDosLocal)
    return static_cast<int32_t>(UtcFileTimeToDosTime(utc));
  else
    return FileTimeToUnixTime(utc);
}

FILETIME DecodeHeaderTime(int32_t value) {
  if constexpr (platform::kHeaderTimeEncoding == platform::HeaderTimeEncoding::kDosLocal)
    return DosTimeToUtcFileTime(static_cast<uint32_t>(value));
  else
    return UnixTimeToFileTime(value);
}

}  // namespace wcx
