// Damaged and hostile files: each gives a clean error, at open or when the
// damaged stream is read, and never a crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cfb/compound_file.h"
#include "cfb/error.h"
#include "cfb/format.h"
#include "raw_file.h"
#include "test_files.h"

namespace cfb::testing {
namespace {

// Entries 1, 2, 3 of the sample: the first three created.
constexpr uint32_t kBig = 1;    // 20000 bytes, regular sectors
constexpr uint32_t kSmall = 2;  // 1000 bytes, mini stream
constexpr uint32_t kOther = 3;  // 9000 bytes, regular sectors

void WriteSample(const std::string& path) {
  auto file = CompoundFile::Create(path, false, Version::k3);
  const std::pair<const char16_t*, size_t> streams[] = {
      {u"big", 20000}, {u"small", 1000}, {u"other", 9000}};
  for (const auto& [name, size] : streams) {
    const uint32_t id = file->CreateElement(kRootId, name, EntryType::kStream);
    const auto bytes = Pattern(size, id);
    file->Write(id, 0, bytes.data(), bytes.size());
  }
  file->Commit();
}

enum class Expect {
  kOpenFails,
  kStreamDamaged,
  kEither,  // depends on what the cut took away
};

struct Damage {
  const char* what;
  std::function<void(RawFile&)> apply;
  Expect expect;
  Errc code = Errc::kCorrupt;
  uint32_t damaged = kNoStream;  // the stream that can no longer be read
};

const Damage kDamages[] = {
    {"truncated header", [](RawFile& f) { f.bytes().resize(300); }, Expect::kOpenFails,
     Errc::kInvalidHeader},
    {"wrong byte order", [](RawFile& f) { f.bytes()[0x1C] = 0xFF; }, Expect::kOpenFails,
     Errc::kInvalidHeader},
    {"wrong sector shift", [](RawFile& f) { f.bytes()[0x1E] = 10; }, Expect::kOpenFails,
     Errc::kInvalidHeader},
    {"truncated in the data",
     [](RawFile& f) { f.bytes().erase(f.bytes().end() - 15 * f.sector_size(), f.bytes().end()); }, Expect::kEither,
     Errc::kCorrupt, kOther},
    {"FAT cycle",
     [](RawFile& f) {
       const uint32_t s = f.StartOf(kBig);
       f.SetFat(f.Fat(f.Fat(s)), s);
     },
     Expect::kStreamDamaged, Errc::kCorrupt, kBig},
    {"sector out of range", [](RawFile& f) { f.SetFat(f.StartOf(kBig), 0x00FFFFFF); },
     Expect::kStreamDamaged, Errc::kCorrupt, kBig},
    {"chain shorter than the size", [](RawFile& f) { StoreU32(f.Entry(kOther) + 0x78, 900000); },
     Expect::kStreamDamaged, Errc::kCorrupt, kOther},
    {"two streams share sectors",
     [](RawFile& f) { StoreU32(f.Entry(kOther) + 0x74, f.StartOf(kBig)); }, Expect::kStreamDamaged,
     Errc::kCorrupt, kOther},
    {"mini chain cycle",
     [](RawFile& f) {
       const uint32_t mini_fat = LoadU32(&f.bytes()[0x3C]);
       const uint32_t m = f.StartOf(kSmall);
       StoreU32(f.Sector(mini_fat) + 4 * (m + 3), m);
     },
     Expect::kStreamDamaged, Errc::kCorrupt, kSmall},
    {"directory loop", [](RawFile& f) { StoreU32(f.Entry(kRootId) + 0x4C, kRootId); },
     Expect::kOpenFails},
    {"entry reached twice",
     [](RawFile& f) {
       const uint32_t child = LoadU32(f.Entry(kRootId) + 0x4C);
       StoreU32(f.Entry(child) + 0x44, child);
     },
     Expect::kOpenFails},
    {"directory id out of range", [](RawFile& f) { StoreU32(f.Entry(kRootId) + 0x4C, 5000); },
     Expect::kOpenFails},
    {"directory chain cycle",
     [](RawFile& f) {
       const uint32_t first = LoadU32(&f.bytes()[0x30]);
       f.SetFat(first, first);
     },
     Expect::kOpenFails},
    {"FAT sector past the end", [](RawFile& f) { StoreU32(&f.bytes()[0x4C], 0x00100000); },
     Expect::kOpenFails},
    {"DIFAT cycle",
     [](RawFile& f) {
       for (uint32_t i = 1; i < kHeaderDifatCount; ++i)
         StoreU32(&f.bytes()[0x4C + 4 * i], LoadU32(&f.bytes()[0x4C]));
     },
     Expect::kOpenFails},
};

class DamagedTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedTest, GivesACleanError) {
  const Damage& damage = GetParam();
  TempDir dir;
  const std::string path = dir.File("damaged.cfb");
  WriteSample(path);
  RawFile raw(path);
  damage.apply(raw);
  raw.Save();

  std::unique_ptr<CompoundFile> file;
  try {
    file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
  } catch (const Error& e) {
    EXPECT_NE(damage.expect, Expect::kStreamDamaged) << e.what();
    EXPECT_EQ(e.code(), damage.code) << e.what();
    return;
  }
  ASSERT_NE(damage.expect, Expect::kOpenFails) << "opened";
  for (uint32_t id : file->Children(kRootId)) {
    std::vector<uint8_t> bytes(std::min<uint64_t>(file->Entry(id).size(), 1 << 20));
    if (id != damage.damaged) {
      EXPECT_EQ(file->Read(id, 0, bytes.data(), bytes.size()), bytes.size());
      EXPECT_EQ(bytes, Pattern(bytes.size(), id));
      continue;
    }
    EXPECT_TRUE(file->IsDamaged(id));
    try {
      file->Read(id, 0, bytes.data(), bytes.size());
      ADD_FAILURE() << "damaged stream read";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), Errc::kCorrupt);
    }
  }
  // The damaged stream can go, and the file stays valid after the commit.
  file->DestroyElement(damage.damaged);
  file->Commit();
  file.reset();
  file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  EXPECT_EQ(file->Children(kRootId).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedTest, ::testing::ValuesIn(kDamages), [](const auto& info) {
  std::string name = info.param.what;
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

TEST(OddFiles, ChainEndingInAFreeEntryKeepsItsSector) {
  TempDir dir;
  const std::string path = dir.File("odd.cfb");
  WriteSample(path);
  {
    RawFile raw(path);
    uint32_t last = raw.StartOf(kBig);
    while (raw.Fat(last) != kEndOfChain) last = raw.Fat(last);
    raw.SetFat(last, kFreeSect);  // some writers end chains so
    raw.Save();
  }
  auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
  const uint32_t id = file->CreateElement(kRootId, u"new", EntryType::kStream);
  const auto bytes = Pattern(50000, 77);
  file->Write(id, 0, bytes.data(), bytes.size());
  file->Commit();
  file.reset();
  file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  std::vector<uint8_t> big(20000);
  file->Read(kBig, 0, big.data(), big.size());
  EXPECT_EQ(big, Pattern(20000, kBig));
}

// A stream refused only because a damaged one claimed its sectors first
// reads again once that one is gone, and no later write takes its sectors.
TEST(OddFiles, StreamSharingADamagedChainKeepsItsBytesWhenTheOtherGoes) {
  TempDir dir;
  const std::string path = dir.File("shared.cfb");
  WriteSample(path);
  constexpr uint32_t kSkipped = 10;  // sectors of big before other's start
  uint32_t ss = 0;
  {
    RawFile raw(path);
    ss = raw.sector_size();
    uint32_t s = raw.StartOf(kBig);
    for (uint32_t i = 0; i < kSkipped; ++i) s = raw.Fat(s);
    StoreU32(raw.Entry(kOther) + 0x74, s);
    StoreU32(raw.Entry(kBig) + 0x78, 900000);  // longer than its chain
    raw.Save();
  }
  const auto big = Pattern(20000, kBig);
  const std::vector<uint8_t> shared(big.begin() + kSkipped * ss, big.begin() + kSkipped * ss + 9000);
  {
    auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
    ASSERT_TRUE(file->IsDamaged(kBig));
    ASSERT_TRUE(file->IsDamaged(kOther));
    file->DestroyElement(kBig);
    const uint32_t id = file->CreateElement(kRootId, u"new", EntryType::kStream);
    const auto bytes = Pattern(50000, 77);
    file->Write(id, 0, bytes.data(), bytes.size());
    file->Commit();
  }
  auto file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  std::vector<uint8_t> other(9000);
  file->Read(kOther, 0, other.data(), other.size());
  EXPECT_EQ(other, shared);
}

TEST(OddFiles, FatSectorPastWhatTheFatDescribes) {
  TempDir dir;
  const std::string path = dir.File("odd.cfb");
  WriteSample(path);
  {
    // Move the one FAT sector to sector 300, past the 128 entries it holds.
    RawFile raw(path);
    const uint32_t ss = raw.sector_size();
    const uint32_t fat = LoadU32(&raw.bytes()[0x4C]);
    std::vector<uint8_t> page(raw.Sector(fat), raw.Sector(fat) + ss);
    StoreU32(page.data() + 4 * fat, kFreeSect);
    raw.bytes().resize(302 * uint64_t{ss}, 0);
    std::copy(page.begin(), page.end(), raw.Sector(300));
    StoreU32(&raw.bytes()[0x4C], 300);
    raw.Save();
  }
  auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
  std::vector<uint8_t> other(9000);
  file->Read(kOther, 0, other.data(), other.size());
  EXPECT_EQ(other, Pattern(9000, kOther));
  file->DestroyElement(kBig);
  file->Commit();
  file.reset();
  file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  EXPECT_EQ(file->Children(kRootId).size(), 2u);
}

TEST(DamagedFiles, SizeNearTheTopOfSixtyFourBitsIsRefused) {
  TempDir dir;
  const std::string path = dir.File("v4.cfb");
  {
    auto file = CompoundFile::Create(path, false, Version::k4);
    file->CreateElement(kRootId, u"s", EntryType::kStream);
    file->Commit();
  }
  for (uint32_t id : {kRootId, 1u}) {
    RawFile raw(path);
    StoreU64(raw.Entry(id) + 0x78, ~uint64_t{0});
    raw.Save();
    try {
      auto file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
      EXPECT_TRUE(file->IsDamaged(id));
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), Errc::kCorrupt);
    }
  }
}

TEST(DamagedFiles, NotACompoundFileIsLeftAlone) {
  TempDir dir;
  for (const std::string& content : {std::string(), std::string("plain text, not a docfile")}) {
    const std::string path = dir.File("plain");
    std::ofstream(path, std::ios::trunc) << content;
    try {
      CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
      ADD_FAILURE() << "opened";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), Errc::kNotCompoundFile);
    }
    EXPECT_EQ(std::filesystem::file_size(path), content.size());
  }
}

}  // namespace
}  // namespace cfb::testing
