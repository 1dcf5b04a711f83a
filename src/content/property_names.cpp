#include "content/property_names.h"

#include <array>
#include <utility>

namespace content {
namespace {

constexpr Guid kSummaryFormat =
    MakeGuid(0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9});
constexpr Guid kDocumentSummaryFormat =
    MakeGuid(0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});
constexpr Guid kUserDefinedFormat =
    MakeGuid(0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});

using Name = std::pair<uint32_t, std::string_view>;

constexpr std::array kSummaryNames{
    Name{2, "Title"},        Name{3, "Subject"},   Name{4, "Author"},        Name{5, "Keywords"},
    Name{6, "Comments"},     Name{7, "Template"},  Name{8, "Last saved by"}, Name{9, "Revision"},
    Name{10, "Edit time"},   Name{11, "Printed"},  Name{12, "Created"},      Name{13, "Saved"},
    Name{14, "Pages"},       Name{15, "Words"},    Name{16, "Characters"},   Name{17, "Thumbnail"},
    Name{18, "Application"}, Name{19, "Security"},
};

constexpr std::array kDocumentSummaryNames{
    Name{2, "Category"},
    Name{3, "Presentation format"},
    Name{4, "Bytes"},
    Name{5, "Lines"},
    Name{6, "Paragraphs"},
    Name{7, "Slides"},
    Name{8, "Notes"},
    Name{9, "Hidden slides"},
    Name{10, "Multimedia clips"},
    Name{11, "Scale crop"},
    Name{12, "Heading pairs"},
    Name{13, "Titles of parts"},
    Name{14, "Manager"},
    Name{15, "Company"},
    Name{16, "Links up to date"},
    Name{17, "Characters with spaces"},
    Name{19, "Shared document"},
    Name{22, "Hyperlinks changed"},
    Name{23, "Application version"},
    Name{24, "Digital signature"},
    Name{26, "Content type"},
    Name{27, "Content status"},
    Name{28, "Language"},
    Name{29, "Document version"},
};

template <size_t N>
std::optional<std::string_view> Lookup(const std::array<Name, N>& names, uint32_t id) {
  for (const auto& [known, name] : names)
    if (known == id) return name;
  return std::nullopt;
}

}  // namespace

PropertySetFormat FormatOfPropertySet(const Guid& formatId) {
  if (formatId == kSummaryFormat) return PropertySetFormat::kSummary;
  if (formatId == kDocumentSummaryFormat) return PropertySetFormat::kDocumentSummary;
  if (formatId == kUserDefinedFormat) return PropertySetFormat::kUserDefined;
  return PropertySetFormat::kOther;
}

std::optional<std::string_view> KnownPropertyName(PropertySetFormat format, uint32_t id) {
  switch (format) {
    case PropertySetFormat::kSummary:
      return Lookup(kSummaryNames, id);
    case PropertySetFormat::kDocumentSummary:
      return Lookup(kDocumentSummaryNames, id);
    default:
      return std::nullopt;
  }
}

}  // namespace content
