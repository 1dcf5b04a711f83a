#include "content/message_properties.h"

#include <cstring>

#include "content/byte_reader.h"
#include "content/views.h"

namespace content {
namespace {

constexpr size_t kEntrySize = 16;
constexpr size_t kEmbeddedHeader = 24;
constexpr size_t kTopLevelHeader = 32;
// Thousands of entries; more would be no message's.
constexpr size_t kMaxPropertyStream = 1 << 20;

size_t HeaderSize(PropertyStreamOwner owner) {
  switch (owner) {
    case PropertyStreamOwner::kTopLevelMessage:
      return kTopLevelHeader;
    case PropertyStreamOwner::kEmbeddedMessage:
      return kEmbeddedHeader;
    case PropertyStreamOwner::kAttachmentOrRecipient:
      return 8;
  }
  return kTopLevelHeader;
}

}  // namespace

FixedProperties::FixedProperties(std::span<const uint8_t> stream, PropertyStreamOwner owner) {
  ByteReader reader(stream);
  reader.Skip(HeaderSize(owner));
  while (reader.remaining() >= kEntrySize) {
    const uint32_t tag = reader.U32();
    reader.Skip(4);  // flags
    values_.emplace(tag, reader.U64());
  }
}

std::optional<uint64_t> FixedProperties::Find(uint16_t id, PropertyType type) const {
  const auto found = values_.find(uint32_t{id} << 16 | type);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

bool IsMessage(const std::vector<ChildElement>& children) {
  bool properties = false, variable = false;
  for (const auto& child : children) {
    properties |= child.kind == ElementKind::kStream && child.name == kPropertiesStream;
    variable |= child.name.starts_with(u"__substg1.0_");
  }
  return properties && variable;
}

bool IsMessagePart(std::u16string_view name) {
  for (std::u16string_view prefix :
       {u"__substg1.0_", u"__recip_version1.0_#", u"__attach_version1.0_#", u"__nameid_version1.0"})
    if (name.starts_with(prefix)) return true;
  return false;
}

FixedProperties ReadFixedProperties(StorageReader& storage, PropertyStreamOwner owner) {
  const auto stream = storage.ReadStream(kPropertiesStream, kMaxPropertyStream);
  if (!stream) return {};
  return FixedProperties(*stream, owner);
}

std::optional<std::vector<uint8_t>> TopLevelMessageProperties(std::span<const uint8_t> embedded) {
  if (embedded.size() < kEmbeddedHeader || (embedded.size() - kEmbeddedHeader) % kEntrySize != 0)
    return std::nullopt;
  // The top-level header is the embedded one and eight reserved bytes.
  std::vector<uint8_t> out(embedded.size() + kTopLevelHeader - kEmbeddedHeader);
  std::memcpy(out.data(), embedded.data(), kEmbeddedHeader);
  std::memcpy(out.data() + kTopLevelHeader, embedded.data() + kEmbeddedHeader,
              embedded.size() - kEmbeddedHeader);
  return out;
}

}  // namespace content
