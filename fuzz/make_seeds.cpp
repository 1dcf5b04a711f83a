// Writes a few small compound files to start the fuzzer's corpus from.
#include <string>
#include <vector>

#include "cfb/compound_file.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  for (cfb::Version version : {cfb::Version::k3, cfb::Version::k4}) {
    const std::string name = dir + (version == cfb::Version::k3 ? "/v3.cfb" : "/v4.cfb");
    auto file = cfb::CompoundFile::Create(name, true, version);
    const uint32_t storage =
        file->CreateElement(cfb::kRootId, u"storage", cfb::EntryType::kStorage);
    const std::vector<uint8_t> bytes(6000, 0x42);
    for (size_t i = 0; i < 6; ++i) {
      const uint32_t parent = i % 2 ? storage : cfb::kRootId;
      const uint32_t id =
          file->CreateElement(parent, u"s" + std::u16string(1, u'a' + i), cfb::EntryType::kStream);
      file->Write(id, 0, bytes.data(), i * 1000);
    }
    file->Commit();
  }
  // Larger than one FAT sector describes, with a DIFAT-free but multi-page FAT.
  auto file = cfb::CompoundFile::Create(dir + "/v3-large.cfb", true, cfb::Version::k3);
  const std::vector<uint8_t> bytes(100000, 0x17);
  const uint32_t big = file->CreateElement(cfb::kRootId, u"big", cfb::EntryType::kStream);
  file->Write(big, 0, bytes.data(), bytes.size());
  for (int i = 0; i < 40; ++i) {
    const std::u16string name = {u'm', static_cast<char16_t>(u'a' + i / 10),
                                 static_cast<char16_t>(u'0' + i % 10)};
    const uint32_t id = file->CreateElement(cfb::kRootId, name, cfb::EntryType::kStream);
    file->Write(id, 0, bytes.data(), 100 + i * 37);
  }
  file->Commit();
  return 0;
}
