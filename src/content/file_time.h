// FILETIME values (100-nanosecond ticks since 1601-01-01 UTC) as text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace content {

// ISO 8601 in UTC, "2024-05-01T12:30:00Z"; nullopt for 0 (no time) and for
// times past the year 9999.
std::optional<std::string> IsoUtcTime(uint64_t fileTime);
// A span of ticks as hours, minutes and seconds, "12:05:09" (hours may pass 24).
std::string DurationText(uint64_t ticks);

}  // namespace content
