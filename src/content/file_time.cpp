#include "content/file_time.h"

#include <chrono>

#include "rtl/format.h"

namespace content {
namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysTo1970 = 134774;
// Seconds from 1601-01-01 to 10000-01-01.
constexpr uint64_t kSecondsTo10000 = 265046774400;

}  // namespace

std::optional<std::string> IsoUtcTime(uint64_t fileTime) {
  const uint64_t seconds = fileTime / kTicksPerSecond;
  if (fileTime == 0 || seconds >= kSecondsTo10000) return std::nullopt;
  const auto days = static_cast<int64_t>(seconds) / kSecondsPerDay;
  const auto inDay = static_cast<int64_t>(seconds) % kSecondsPerDay;
  const std::chrono::year_month_day date{
      std::chrono::sys_days{std::chrono::days{days - kDaysTo1970}}};
  return rtl::Format("%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                     static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
                     static_cast<int>(inDay % 60));
}

std::string DurationText(uint64_t ticks) {
  const uint64_t seconds = ticks / kTicksPerSecond;
  return rtl::Format("%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                     static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
}

}  // namespace content
