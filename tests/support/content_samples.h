// The bytes of the streams the content parsers read, built the way their
// writers lay them out: message properties, packaged files, a summary
// property set. For the content tests, the fuzzers' seeds and the sample
// trees both start from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "content/guid.h"
#include "content/message_strings.h"
#include "content/views.h"
#include "memory_storage_reader.h"

namespace testing_support {

inline MemoryElement UnicodeProperty(uint16_t id, std::u16string_view text) {
  return Stream(content::PropertyStreamName(id, content::kPropUnicode),
                ByteWriter().Utf16(text).bytes());
}

inline MemoryElement NarrowProperty(uint16_t id, std::string_view text) {
  return Stream(content::PropertyStreamName(id, content::kPropString8),
                ByteWriter().Raw(text).bytes());
}

inline MemoryElement AttachmentData(size_t size) {
  return Stream(content::PropertyStreamName(0x3701, content::kPropBinary),
                std::vector<uint8_t>(size, 0x5A));
}

// A __properties_version1.0 stream with `header` bytes before its entries
// (tag, value).
inline MemoryElement FixedPropertyStream(size_t header,
                                         std::vector<std::pair<uint32_t, uint64_t>> entries) {
  ByteWriter writer;
  for (size_t i = 0; i < header; ++i) writer.U8(0);
  for (const auto& [tag, value] : entries) writer.U32(tag).U32(2).U64(value);
  return Stream(std::u16string(content::kPropertiesStream), writer.bytes());
}

struct PackageFields {
  std::string label = "report.pdf";
  std::string path = "C:\\Users\\ann\\Documents\\report.pdf";
  std::string temp = "C:\\Users\\ann\\AppData\\Local\\Temp\\report.pdf";
  std::vector<uint8_t> data = std::vector<uint8_t>(100, 0xD7);
  std::optional<uint32_t> claimedData;      // instead of data.size()
  std::optional<std::u16string> wideLabel;  // the UTF-16 paths after the data
};

// An \x01Ole10Native stream: the native size, the packager's header, the data.
inline std::vector<uint8_t> PackageStream(const PackageFields& p) {
  ByteWriter native;
  native.U16(2).Raw(p.label).U8(0).Raw(p.path).U8(0).U16(0).U16(3);
  native.U32(static_cast<uint32_t>(p.temp.size() + 1)).Raw(p.temp).U8(0);
  native.U32(p.claimedData.value_or(static_cast<uint32_t>(p.data.size()))).Raw(p.data);
  if (p.wideLabel) {
    native.U32(4).Utf16(u"temp").U32(static_cast<uint32_t>(p.wideLabel->size()));
    native.Utf16(*p.wideLabel).U32(0);
  }
  ByteWriter stream;
  stream.U32(static_cast<uint32_t>(native.size())).Raw(native.bytes());
  return stream.bytes();
}

inline constexpr content::Guid kSummaryFormat =
    content::MakeGuid(0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9});

// A \x05SummaryInformation stream with one title.
inline MemoryElement SummaryStream(std::string_view title) {
  ByteWriter set;
  set.U16(0xFFFE).U16(0).U32(0).Raw(std::string(16, '\0')).U32(1);
  set.Raw(std::vector<uint8_t>(kSummaryFormat.begin(), kSummaryFormat.end())).U32(48);
  set.U32(0).U32(1).U32(2).U32(16).U16(30).U16(0).U32(static_cast<uint32_t>(title.size() + 1));
  set.Raw(title).U8(0).PadTo4();
  set.PatchU32(48, static_cast<uint32_t>(set.size() - 48));
  return Stream(u"\x05SummaryInformation", set.bytes());
}

// The views of the tree, read with ANSI as the fallback code page; with
// `log`, what the search read.
inline std::vector<content::View> FindViewsIn(const MemoryElement& root,
                                              const content::ViewLimits& limits = {},
                                              ReadLog* log = nullptr) {
  ReadLog ignored;
  MemoryStorageReader reader(root, log ? *log : ignored);
  return content::FindViews(reader, limits, platform::CodePage::kAnsi);
}

}  // namespace testing_support
