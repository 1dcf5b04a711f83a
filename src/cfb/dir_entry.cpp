#include "cfb/dir_entry.h"

#include <algorithm>

namespace cfb {

DirEntry ParseDirEntry(std::span<const uint8_t, kDirEntrySize> bytes, Version version) {
  const uint8_t* p = bytes.data();
  DirEntry e;
  uint32_t length = 0;
  while (length < kMaxNameLength && LoadU16(p + 2 * length) != 0) ++length;
  e.name.resize(length);
  for (uint32_t i = 0; i < length; ++i) e.name[i] = LoadU16(p + 2 * i);
  e.type = static_cast<EntryType>(p[0x42]);
  e.color = p[0x43] == 0 ? Color::kRed : Color::kBlack;
  e.left = LoadU32(p + 0x44);
  e.right = LoadU32(p + 0x48);
  e.child = LoadU32(p + 0x4C);
  std::copy(p + 0x50, p + 0x60, e.clsid.begin());
  e.state_bits = LoadU32(p + 0x60);
  e.ctime = LoadU64(p + 0x64);
  e.mtime = LoadU64(p + 0x6C);
  e.start = LoadU32(p + 0x74);
  e.size = version == Version::k3 ? LoadU32(p + 0x78) : LoadU64(p + 0x78);
  return e;
}

void SerializeDirEntry(const DirEntry& e, std::span<uint8_t, kDirEntrySize> bytes) {
  uint8_t* p = bytes.data();
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  const size_t length = std::min<size_t>(e.name.size(), kMaxNameLength);
  for (size_t i = 0; i < length; ++i) StoreU16(p + 2 * i, e.name[i]);
  StoreU16(p + 0x40, length == 0 ? 0 : static_cast<uint16_t>((length + 1) * 2));
  p[0x42] = static_cast<uint8_t>(e.type);
  p[0x43] = static_cast<uint8_t>(e.color);
  StoreU32(p + 0x44, e.left);
  StoreU32(p + 0x48, e.right);
  StoreU32(p + 0x4C, e.child);
  std::copy(e.clsid.begin(), e.clsid.end(), p + 0x50);
  StoreU32(p + 0x60, e.state_bits);
  StoreU64(p + 0x64, e.ctime);
  StoreU64(p + 0x6C, e.mtime);
  StoreU32(p + 0x74, e.start);
  StoreU64(p + 0x78, e.size);
}

}  // namespace cfb
