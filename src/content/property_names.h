// The names of the properties in the property sets Office and the system
// write, by the set's format id.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "content/guid.h"

namespace content {

enum class PropertySetFormat {
  kSummary,          // \x05SummaryInformation
  kDocumentSummary,  // \x05DocumentSummaryInformation, first section
  kUserDefined,      // its second section, named by its dictionary
  kOther,
};

PropertySetFormat FormatOfPropertySet(const Guid& formatId);
std::optional<std::string_view> KnownPropertyName(PropertySetFormat format, uint32_t id);

// The one FILETIME property that holds a span of time, not a date.
inline bool IsDurationProperty(PropertySetFormat format, uint32_t id) {
  return format == PropertySetFormat::kSummary && id == 10;
}

}  // namespace content
