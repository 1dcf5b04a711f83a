#include "content/property_set.h"

#include <unordered_map>
#include <vector>

#include "content/byte_reader.h"
#include "content/property_names.h"
#include "content/property_value.h"
#include "rtl/format.h"

namespace content {
namespace {

constexpr uint16_t kByteOrderMark = 0xFFFE;
// A set has one section, the document summary a second for user-defined
// properties; more would be no set any writer makes.
constexpr uint32_t kMaxSections = 2;
constexpr uint32_t kDictionaryId = 0;
constexpr uint32_t kCodePageId = 1;
constexpr uint16_t kTypeI2 = 2;

struct PropertyEntry {
  uint32_t id;
  uint32_t offset;  // from the section's start
};

using Dictionary = std::unordered_map<uint32_t, std::string>;

// The code page property, when it is there as the two-byte integer it must be.
uint32_t SectionCodePage(std::span<const uint8_t> section,
                         const std::vector<PropertyEntry>& entries) {
  for (const auto& entry : entries) {
    if (entry.id != kCodePageId) continue;
    ByteReader reader(section, entry.offset);
    const uint16_t type = reader.U16();
    reader.Skip(2);
    const uint16_t codePage = reader.U16();
    if (reader.ok() && type == kTypeI2) return codePage;
  }
  return 0;
}

Dictionary ReadDictionary(std::span<const uint8_t> section, uint32_t offset,
                          const TextCodePage& codePage) {
  Dictionary names;
  ByteReader reader(section, offset);
  const uint32_t count = reader.U32();
  for (uint32_t i = 0; i < count && i < kMaxShownProperties && reader.ok(); ++i) {
    const uint32_t id = reader.U32();
    const uint32_t length = reader.U32();
    if (codePage.number == kCodePageUtf16) {
      const auto name = reader.Bytes(uint64_t{length} * 2);
      reader.SkipPadding();
      if (reader.ok()) names.emplace(id, OnOneLine(Utf16LeToUtf8(name)));
    } else {
      const auto name = reader.Bytes(length);
      if (reader.ok()) names.emplace(id, OnOneLine(EightBitToUtf8(name, codePage)));
    }
  }
  return names;
}

std::string PropertyName(PropertySetFormat format, const Dictionary& dictionary, uint32_t id) {
  if (auto known = KnownPropertyName(format, id)) return std::string(*known);
  if (auto named = dictionary.find(id); named != dictionary.end() && !named->second.empty())
    return named->second;
  return rtl::Format("Property %u", id);
}

// Locale and behaviour flags (0x8000000x) say how to read the set, not what
// the document is.
bool IsShown(uint32_t id) { return id != kDictionaryId && id != kCodePageId && id < 0x80000000; }

void AppendSection(std::span<const uint8_t> section, PropertySetFormat format,
                   platform::CodePage ansi, std::string& text) {
  ByteReader reader(section);
  reader.Skip(4);  // the section's size, already applied
  const uint32_t count = reader.U32();
  std::vector<PropertyEntry> entries;
  for (uint32_t i = 0; i < count && i < kMaxShownProperties && reader.ok(); ++i) {
    const uint32_t id = reader.U32();
    const uint32_t offset = reader.U32();
    if (reader.ok()) entries.push_back({id, offset});
  }
  const TextCodePage codePage{SectionCodePage(section, entries), ansi};
  Dictionary dictionary;
  for (const auto& entry : entries)
    if (entry.id == kDictionaryId) dictionary = ReadDictionary(section, entry.offset, codePage);
  for (const auto& entry : entries) {
    if (!IsShown(entry.id)) continue;
    ByteReader value(section, entry.offset);
    const TimeMeaning time =
        IsDurationProperty(format, entry.id) ? TimeMeaning::kDuration : TimeMeaning::kDate;
    const auto shown = ReadPropertyValue(value, codePage, time);
    if (!shown || shown->empty()) continue;
    const std::string line = PropertyName(format, dictionary, entry.id) + ": " + *shown + "\n";
    if (text.size() + line.size() > kMaxPropertySetText) return;
    text += line;
  }
}

}  // namespace

std::optional<std::string> PropertySetText(std::span<const uint8_t> stream,
                                           platform::CodePage ansi) {
  ByteReader header(stream);
  const uint16_t byteOrder = header.U16();
  const uint16_t version = header.U16();
  header.Skip(4 + 16);  // system and class ids
  const uint32_t sections = header.U32();
  if (!header.ok() || byteOrder != kByteOrderMark || version > 1 || sections == 0)
    return std::nullopt;
  std::string text;
  bool anySection = false;
  for (uint32_t i = 0; i < sections && i < kMaxSections; ++i) {
    const Guid formatId = GuidFrom(header.Bytes(16));
    const uint32_t offset = header.U32();
    if (!header.ok() || offset > stream.size()) break;
    ByteReader sizeReader(stream, offset);
    const uint32_t size = sizeReader.U32();
    if (!sizeReader.ok()) break;
    // A section that claims more than the stream holds is read as far as it goes.
    const auto section = stream.subspan(offset, std::min<size_t>(size, stream.size() - offset));
    // The document summary's second section holds the user-defined properties,
    // whatever id a writer gave it.
    PropertySetFormat format = FormatOfPropertySet(formatId);
    if (i == 1 && format == PropertySetFormat::kDocumentSummary)
      format = PropertySetFormat::kUserDefined;
    AppendSection(section, format, ansi, text);
    anySection = true;
  }
  if (!anySection) return std::nullopt;
  return text;
}

}  // namespace content
