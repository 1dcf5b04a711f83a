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
    const uint32_t storage = file->CreateElement(cfb::kRootId, u"storage", cfb::EntryType::kStorage);
    const std::vector<uint8_t> bytes(6000, 0x42);
    for (size_t i = 0; i < 6; ++i) {
      const uint32_t parent = i % 2 ? storage : cfb::kRootId;
      const uint32_t id = file->CreateElement(parent, u"s" + std::u16string(1, u'a' + i),
                                              cfb::EntryType::kStream);
      file->Write(id, 0, bytes.data(), i * 1000);
    }
    file->Commit();
  }
  return 0;
}
