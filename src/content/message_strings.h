// The variable-size properties of a mail message, an attachment or a
// recipient: each in a stream __substg1.0_IIIITTTT (id and type in hex).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "content/message_properties.h"
#include "content/storage_reader.h"
#include "content/text_decoding.h"

namespace content {

std::u16string PropertyStreamName(uint16_t id, PropertyType type);

// The string property in its UTF-16 form, else its 8-bit one; its first
// `maxBytes` bytes; nullopt when it has neither or is empty.
std::optional<std::string> ReadStringProperty(StorageReader& storage, uint16_t id,
                                              const TextCodePage& codePage, size_t maxBytes);

// The first string property of the ids that is there.
std::optional<std::string> ReadFirstStringProperty(StorageReader& storage,
                                                   std::initializer_list<uint16_t> ids,
                                                   const TextCodePage& codePage, size_t maxBytes);

}  // namespace content
