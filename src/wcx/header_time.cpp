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

// Unsigned, as the hosts read it: 1970 to 2106.
uint32_t FileTimeToUnixTime(const FILETIME& utc) {
  const uint64_t ticks = platform::FileTimeToUInt64(utc);
  if (ticks < uint64_t{kUnixEpochTicks})
    throw rtl::EConvertError("Invalid argument to date encode");
  // Rounded down, as the DOS encoding rounds down to its even second.
  const uint64_t seconds = (ticks - kUnixEpochTicks) / kTicksPerSecond;
  if (seconds > std::numeric_limits<uint32_t>::max())
    throw rtl::EConvertError("Invalid argument to date encode");
  return static_cast<uint32_t>(seconds);
}

}  // namespace

int32_t EncodeHeaderTime(const FILETIME& utc) {
  if constexpr (platform::kHeaderTimeEncoding == platform::HeaderTimeEncoding::kDosLocal)
    return static_cast<int32_t>(UtcFileTimeToDosTime(utc));
  else
    return static_cast<int32_t>(FileTimeToUnixTime(utc));
}

}  // namespace wcx
