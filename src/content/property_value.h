// One typed value of a property set (its type word, then the value) as text.
#pragma once

#include <optional>
#include <string>

#include "content/byte_reader.h"
#include "content/text_decoding.h"

namespace content {

enum class TimeMeaning { kDate, kDuration };

// Shown values are cut here: a property set is read to be looked at.
inline constexpr size_t kMaxShownValueBytes = 64 << 10;
inline constexpr uint32_t kMaxShownVectorElements = 256;

// The value at the reader's position, which is a multiple of four from the
// section's start; nullopt for types that show as nothing (empty, clipboard
// data, blobs, streams) and for bytes that do not hold the value.
std::optional<std::string> ReadPropertyValue(ByteReader& reader, const TextCodePage& codePage,
                                             TimeMeaning time);

}  // namespace content
