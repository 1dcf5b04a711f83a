// Writes small valid compound files of every shape to start the fuzzers'
// corpus from: 512- and 4096-byte sectors, streams in the mini stream and in
// regular sectors, a FAT of several pages, a DIFAT sector, deep nesting.
//   cfb_make_seeds DIR
#include <fstream>
#include <string>
#include <vector>

#include "cfb/compound_file.h"
#include "cfb/dir_entry.h"
#include "cfb/entry_store.h"

namespace {

using cfb::CompoundFile;
using cfb::EntryType;

void WriteStream(CompoundFile& file, uint32_t parent, const std::u16string& name, size_t size,
                 uint8_t fill) {
  const uint32_t id = file.CreateElement(parent, name, EntryType::kStream);
  const std::vector<uint8_t> bytes(size, fill);
  file.Write(id, 0, bytes.data(), bytes.size());
}

// Streams of 0 to 5000 bytes at the root and in a storage.
void MixedSizes(const std::string& path, cfb::Version version) {
  auto file = CompoundFile::Create(path, true, version);
  const uint32_t storage = file->CreateElement(cfb::kRootId, u"storage", EntryType::kStorage);
  for (size_t i = 0; i < 6; ++i)
    WriteStream(*file, i % 2 ? storage : cfb::kRootId, u"s" + std::u16string(1, u'a' + i), i * 1000,
                0x42);
  file->Commit();
}

// Larger than one FAT sector describes.
void SeveralFatPages(const std::string& path) {
  auto file = CompoundFile::Create(path, true, cfb::Version::k3);
  WriteStream(*file, cfb::kRootId, u"big", 100000, 0x17);
  for (int i = 0; i < 40; ++i) {
    const std::u16string name = {u'm', static_cast<char16_t>(u'a' + i / 10),
                                 static_cast<char16_t>(u'0' + i % 10)};
    WriteStream(*file, cfb::kRootId, name, 100 + i * 37, static_cast<uint8_t>(i));
  }
  file->Commit();
}

// Storages nested 40 deep, with a stream at each level and names that the
// plug-in shows escaped.
void DeepNesting(const std::string& path) {
  auto file = CompoundFile::Create(path, true, cfb::Version::k3);
  uint32_t parent = cfb::kRootId;
  for (int level = 0; level < 40; ++level) {
    WriteStream(*file, parent, u"\x05level" + std::u16string(1, u'A' + level % 26), 70, 1);
    parent = file->CreateElement(parent, level % 2 ? u"..." : u"Dir%", EntryType::kStorage);
  }
  WriteStream(*file, parent, u"bottom", 5000, 2);
  file->Commit();
}

// Small files never need a DIFAT sector, so this one is laid out by hand:
// 110 FAT sectors (one more than the header lists), a DIFAT sector, the
// directory and one stream of 5000 bytes in regular sectors.
void WithDifat(const std::string& path) {
  constexpr uint32_t kSector = 512, kFatSectors = 110, kDifat = 110, kDir = 111, kData = 112;
  constexpr uint32_t kDataSectors = 10;
  std::vector<uint8_t> bytes((kData + kDataSectors + 1) * kSector, 0);
  auto sector = [&](uint32_t s) { return bytes.data() + (s + 1) * kSector; };
  auto fat = [&](uint32_t s, uint32_t next) {
    cfb::StoreU32(sector(s / 128) + 4 * (s % 128), next);
  };
  for (uint32_t s = 0; s < kFatSectors; ++s)
    for (uint32_t i = 0; i < 128; ++i) cfb::StoreU32(sector(s) + 4 * i, cfb::kFreeSect);
  for (uint32_t s = 0; s < kFatSectors; ++s) fat(s, cfb::kFatSect);
  fat(kDifat, cfb::kDifSect);
  fat(kDir, cfb::kEndOfChain);
  for (uint32_t s = kData; s < kData + kDataSectors; ++s)
    fat(s, s + 1 < kData + kDataSectors ? s + 1 : cfb::kEndOfChain);

  for (uint32_t i = 0; i < 128; ++i) cfb::StoreU32(sector(kDifat) + 4 * i, cfb::kFreeSect);
  cfb::StoreU32(sector(kDifat), kFatSectors - 1);
  cfb::StoreU32(sector(kDifat) + kSector - 4, cfb::kEndOfChain);

  cfb::Header header;
  for (uint32_t i = 0; i < cfb::kHeaderDifatCount; ++i) header.difat[i] = i;
  header.fat_sector_count = kFatSectors;
  header.first_difat_sector = kDifat;
  header.difat_sector_count = 1;
  header.first_dir_sector = kDir;
  cfb::SerializeHeader(header,
                       std::span<uint8_t, cfb::kHeaderSize>(bytes.data(), cfb::kHeaderSize));

  cfb::DirEntry root;
  root.name = u"Root Entry";
  root.type = EntryType::kRoot;
  root.start = cfb::kEndOfChain;
  root.child = 1;
  cfb::DirEntry stream;
  stream.name = u"difat";
  stream.type = EntryType::kStream;
  stream.start = kData;
  stream.size = 5000;
  cfb::EntryStore entries;
  entries.AppendUnused(4);
  entries.Assign(0, root);
  entries.Assign(1, stream);
  for (uint32_t i = 0; i < 4; ++i)
    entries.Serialize(i, std::span<uint8_t, cfb::kDirEntrySize>(
                             sector(kDir) + i * cfb::kDirEntrySize, cfb::kDirEntrySize));
  for (uint32_t i = 0; i < 5000; ++i) sector(kData)[i] = static_cast<uint8_t>(i);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  MixedSizes(dir + "/v3.cfb", cfb::Version::k3);
  MixedSizes(dir + "/v4.cfb", cfb::Version::k4);
  SeveralFatPages(dir + "/v3-large.cfb");
  DeepNesting(dir + "/deep.cfb");
  WithDifat(dir + "/difat.cfb");
  return 0;
}
