// A property set stream (\x05SummaryInformation, \x05DocumentSummaryInformation
// and others of the format) as text: one "Name: value" line per property,
// named where the set is a known one, user-defined properties by the names
// their dictionary gives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/os.h"

namespace content {

// Properties beyond these are left out: the text is for reading.
inline constexpr uint32_t kMaxShownProperties = 4096;
inline constexpr size_t kMaxPropertySetText = 1 << 20;

// nullopt when the bytes are no property set. Strings are decoded through
// the set's own code page, else through `ansi`.
std::optional<std::string> PropertySetText(std::span<const uint8_t> stream,
                                           platform::CodePage ansi);

}  // namespace content
