// The fixed-size properties of a mail message, an attachment or a recipient:
// the __properties_version1.0 stream, a header and then 16-byte entries
// (tag, flags, value). Values of variable size live in streams of their
// own; their entries here only give sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "content/storage_reader.h"

namespace content {

inline constexpr std::u16string_view kPropertiesStream = u"__properties_version1.0";

enum class PropertyStreamOwner { kTopLevelMessage, kEmbeddedMessage, kAttachmentOrRecipient };

enum PropertyType : uint16_t {
  kPropLong = 0x0003,
  kPropString8 = 0x001E,
  kPropUnicode = 0x001F,
  kPropTime = 0x0040,
  kPropBinary = 0x0102,
  kPropObject = 0x000D,
};

class FixedProperties {
 public:
  // Entries that do not fit whole are left out.
  FixedProperties(std::span<const uint8_t> stream, PropertyStreamOwner owner);
  FixedProperties() = default;

  std::optional<uint64_t> Find(uint16_t id, PropertyType type) const;

 private:
  std::unordered_map<uint32_t, uint64_t> values_;  // by tag: id << 16 | type
};

// Whether the storage's children are those of a mail message: a property
// stream and properties of variable size. Recipients and attachments have
// them too; IsMessagePart tells those by name.
bool IsMessage(const std::vector<ChildElement>& children);
// Whether an element of this name belongs to the message around it (a
// recipient, an attachment, a property, the named-property map) rather
// than standing on its own.
bool IsMessagePart(std::u16string_view name);

// The storage's fixed properties; none when it has no property stream or
// an implausibly large one.
FixedProperties ReadFixedProperties(StorageReader& storage, PropertyStreamOwner owner);

}  // namespace content
