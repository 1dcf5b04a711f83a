// A small tree of storages and streams in a byte form a fuzzer can mutate:
// one record per element, names mostly from a list of those the content
// parsers look for, so that mutations reach them.
//   0 name size:u16 bytes            a stream
//   1 name size:u16 claimed:u32 bytes a stream whose directory claims another size
//   2 name class                     a storage begins
//   3                                the storage ends
// A name is an index into kNames, or 0xFF, a length and that many UTF-16LE units.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "content/guid.h"
#include "memory_storage_reader.h"

namespace content_fuzz {

using testing_support::MemoryElement;

inline const std::array<std::u16string, 20> kNames{
    u"__properties_version1.0",
    u"__substg1.0_0037001F",
    u"__substg1.0_0037001E",
    u"__substg1.0_1000001F",
    u"__substg1.0_0E04001F",
    u"__substg1.0_3707001F",
    u"__substg1.0_3704001E",
    u"__substg1.0_37010102",
    u"__substg1.0_3701000D",
    u"__attach_version1.0_#00000000",
    u"__recip_version1.0_#00000000",
    u"__substg1.0_3001001F",
    u"\x01Ole10Native",
    u"\x01"
    u"CompObj",
    u"\x05SummaryInformation",
    u"\x05"
    u"DocumentSummaryInformation",
    u"ObjectPool",
    u"Workbook",
    u"WordDocument",
    u"_1234567890",
};

inline const std::array<content::Guid, 3> kClasses{content::Guid{}, content::OleClassId(0x00020906),
                                                   content::OleClassId(0x00020820)};

constexpr size_t kMaxNesting = 64;

class Decoder {
 public:
  explicit Decoder(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  MemoryElement Tree() {
    MemoryElement root = testing_support::Storage(u"Root Entry", {});
    Children(root, 0);
    return root;
  }

 private:
  void Children(MemoryElement& storage, size_t depth) {
    while (at_ < bytes_.size()) {
      const uint8_t op = Byte() % 4;
      if (op == 3) return;
      MemoryElement child;
      child.name = Name();
      if (op == 2) {
        child.kind = content::ElementKind::kStorage;
        child.clsid = kClasses[Byte() % kClasses.size()];
        if (depth < kMaxNesting) Children(child, depth + 1);
      } else {
        const size_t size = Byte() | Byte() << 8;
        if (op == 1)
          child.claimedSize = Byte() | Byte() << 8 | Byte() << 16 | uint32_t{Byte()} << 24;
        for (size_t i = 0; i < size && at_ < bytes_.size(); ++i) child.bytes.push_back(Byte());
      }
      storage.children.push_back(std::move(child));
    }
  }

  std::u16string Name() {
    const uint8_t index = Byte();
    if (index != 0xFF) return kNames[index % kNames.size()];
    std::u16string name;
    for (size_t length = Byte() % 32; length > 0 && at_ < bytes_.size(); --length)
      name += static_cast<char16_t>(Byte() | Byte() << 8);
    return name;
  }

  uint8_t Byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }

  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// The byte form of a tree's children, for seeds.
inline void Encode(const MemoryElement& storage, std::vector<uint8_t>& out) {
  const auto name = [&](const std::u16string& text) {
    for (size_t i = 0; i < kNames.size(); ++i)
      if (kNames[i] == text) return out.push_back(static_cast<uint8_t>(i));
    out.push_back(0xFF);
    out.push_back(static_cast<uint8_t>(text.size()));
    for (char16_t c : text)
      out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  };
  for (const auto& child : storage.children) {
    if (child.kind == content::ElementKind::kStorage) {
      out.push_back(2);
      name(child.name);
      size_t cls = 0;
      for (size_t i = 0; i < kClasses.size(); ++i)
        if (kClasses[i] == child.clsid) cls = i;
      out.push_back(static_cast<uint8_t>(cls));
      Encode(child, out);
      out.push_back(3);
      continue;
    }
    out.push_back(0);
    name(child.name);
    const size_t size = std::min<size_t>(child.bytes.size(), 0xFFFF);
    out.insert(out.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)});
    out.insert(out.end(), child.bytes.begin(), child.bytes.begin() + static_cast<ptrdiff_t>(size));
  }
}

}  // namespace content_fuzz
