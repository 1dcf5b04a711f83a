// The bytes of a compound file, with the few look-ups that tests need to
// damage it or to give it what only other writers produce.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "cfb/format.h"

namespace cfb::testing {

class RawFile {
 public:
  explicit RawFile(const std::string& path) : path_(path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Save() const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes_.data()),
               static_cast<std::streamsize>(bytes_.size()));
  }
  uint32_t sector_size() const { return 1u << LoadU16(&bytes_[0x1E]); }
  uint8_t* Sector(uint32_t s) { return &bytes_[(uint64_t{s} + 1) * sector_size()]; }
  // FAT entries reached through the header's DIFAT (small files only).
  uint32_t Fat(uint32_t s) {
    const uint32_t per = sector_size() / 4;
    return LoadU32(Sector(LoadU32(&bytes_[0x4C + 4 * (s / per)])) + 4 * (s % per));
  }
  void SetFat(uint32_t s, uint32_t value) {
    const uint32_t per = sector_size() / 4;
    StoreU32(Sector(LoadU32(&bytes_[0x4C + 4 * (s / per)])) + 4 * (s % per), value);
  }
  // The 128 bytes of directory entry id.
  uint8_t* Entry(uint32_t id) {
    const uint32_t per = sector_size() / kDirEntrySize;
    uint32_t s = LoadU32(&bytes_[0x30]);
    for (uint32_t i = 0; i < id / per; ++i) s = Fat(s);
    return Sector(s) + (id % per) * kDirEntrySize;
  }
  uint32_t StartOf(uint32_t id) { return LoadU32(Entry(id) + 0x74); }
  // Names the entry as any writer might, bypassing the format's rules.
  void SetName(uint32_t id, std::u16string_view name) {
    uint8_t* e = Entry(id);
    std::fill(e, e + 64, uint8_t{0});
    for (size_t i = 0; i < name.size(); ++i) StoreU16(e + 2 * i, name[i]);
    StoreU16(e + 0x40, static_cast<uint16_t>(name.empty() ? 0 : 2 * (name.size() + 1)));
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::string path_;
  std::vector<uint8_t> bytes_;
};

}  // namespace cfb::testing
