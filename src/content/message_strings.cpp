#include "content/message_strings.h"

namespace content {

std::u16string PropertyStreamName(uint16_t id, PropertyType type) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string name = u"__substg1.0_";
  const uint32_t tag = uint32_t{id} << 16 | type;
  for (int shift = 28; shift >= 0; shift -= 4) name += kHex[(tag >> shift) & 0xF];
  return name;
}

std::optional<std::string> ReadStringProperty(StorageReader& storage, uint16_t id,
                                              const TextCodePage& codePage, size_t maxBytes) {
  std::string text;
  if (auto wide = storage.ReadStreamPrefix(PropertyStreamName(id, kPropUnicode), maxBytes))
    text = Utf16LeToUtf8(*wide);
  else if (auto narrow = storage.ReadStreamPrefix(PropertyStreamName(id, kPropString8), maxBytes))
    text = EightBitToUtf8(*narrow, codePage);
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::string> ReadFirstStringProperty(StorageReader& storage,
                                                   std::initializer_list<uint16_t> ids,
                                                   const TextCodePage& codePage, size_t maxBytes) {
  for (uint16_t id : ids)
    if (auto text = ReadStringProperty(storage, id, codePage, maxBytes)) return text;
  return std::nullopt;
}

}  // namespace content
