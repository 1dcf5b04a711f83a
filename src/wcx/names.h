// Display names and header fields: what makes an entry's name valid on disk
// and how strings are written into the fixed character fields of records.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wcx {

// Replaces bytes below 0x20 and the characters " * < > ? | / \ : % by
// "%XX" (two upper-case hex digits). Bytes 0x80..0xFF are kept.
std::string SanitizeName(std::string_view name);

// Copies at most fieldSize - 1 bytes of value and one zero byte into field;
// the bytes behind that zero are left as they were.
void CopyToField(std::string_view value, char* field, size_t fieldSize);

}  // namespace wcx
