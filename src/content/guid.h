// Class and format ids in the byte order files store them: the first three
// fields little-endian, the last eight bytes as they are.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace content {

using Guid = std::array<uint8_t, 16>;

constexpr Guid MakeGuid(uint32_t data1, uint16_t data2, uint16_t data3,
                        std::array<uint8_t, 8> data4) {
  Guid guid{};
  for (int i = 0; i < 4; ++i) guid[i] = static_cast<uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) guid[4 + i] = static_cast<uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) guid[6 + i] = static_cast<uint8_t>(data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) guid[8 + i] = data4[i];
  return guid;
}

// The ids of the system's own OLE classes: {000xxxxx-0000-0000-C000-000000000046}.
constexpr Guid OleClassId(uint32_t data1) {
  return MakeGuid(data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46});
}

inline Guid GuidFrom(std::span<const uint8_t> bytes) {
  Guid guid{};
  for (size_t i = 0; i < guid.size() && i < bytes.size(); ++i) guid[i] = bytes[i];
  return guid;
}

// "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}"
std::string GuidText(const Guid& guid);

}  // namespace content
