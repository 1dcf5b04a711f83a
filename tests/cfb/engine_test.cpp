// The engine through its native API: streams across the mini-stream cutoff,
// both versions, storages, reuse of freed space and the size limits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

#include "cfb/compound_file.h"
#include "cfb/error.h"
#include "cfb/names.h"
#include "reader_checks.h"
#include "test_files.h"

namespace cfb {
namespace {

using testing::Pattern;
using testing::TempDir;

std::vector<uint8_t> ReadAll(CompoundFile& file, uint32_t id) {
  std::vector<uint8_t> bytes(file.Entry(id).size());
  EXPECT_EQ(file.Read(id, 0, bytes.data(), bytes.size()), bytes.size());
  return bytes;
}

std::unique_ptr<CompoundFile> Reopen(const std::string& path, bool writable = false) {
  return CompoundFile::Open(
      path, writable ? CompoundFile::Access::kReadWrite : CompoundFile::Access::kRead,
      ShareLock::kExclusive);
}

std::u16string ToU16(int i) {
  const std::string digits = std::to_string(i);
  return std::u16string(digits.begin(), digits.end());
}

class EngineTest : public ::testing::TestWithParam<Version> {};

TEST_P(EngineTest, StreamSizesAroundTheCutoffSurviveReopen) {
  TempDir dir;
  const std::string path = dir.File("sizes.cfb");
  const std::vector<uint64_t> sizes = {0, 1, 63, 64, 65, 4095, 4096, 4097, 61440, 61441, 300000};
  {
    auto file = CompoundFile::Create(path, false, GetParam());
    for (size_t i = 0; i < sizes.size(); ++i) {
      const uint32_t id =
          file->CreateElement(kRootId, u"s" + std::u16string(1, u'a' + i), EntryType::kStream);
      const auto bytes = Pattern(sizes[i], static_cast<uint32_t>(i));
      file->Write(id, 0, bytes.data(), bytes.size());
    }
    file->Commit();
  }
  auto file = Reopen(path);
  EXPECT_EQ(file->version(), GetParam());
  for (size_t i = 0; i < sizes.size(); ++i) {
    const uint32_t id = file->Find(kRootId, u"S" + std::u16string(1, u'A' + i));
    ASSERT_NE(id, kNoStream) << i;
    EXPECT_EQ(ReadAll(*file, id), Pattern(sizes[i], static_cast<uint32_t>(i))) << sizes[i];
  }
}

TEST_P(EngineTest, GrowAndShrinkAcrossTheCutoffKeepsTheBytes) {
  TempDir dir;
  const std::string path = dir.File("moves.cfb");
  auto file = CompoundFile::Create(path, false, GetParam());
  const uint32_t id = file->CreateElement(kRootId, u"moving", EntryType::kStream);
  const auto bytes = Pattern(10000, 7);
  // Grows a byte short of the cutoff, then over it, then back below it.
  file->Write(id, 0, bytes.data(), 4095);
  file->Write(id, 4095, bytes.data() + 4095, 10000 - 4095);
  EXPECT_EQ(ReadAll(*file, id), bytes);
  file->Commit();
  file->Resize(id, 100);
  EXPECT_EQ(ReadAll(*file, id), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
  // Growing again reads zeros past the old end, in the mini stream and out.
  file->Resize(id, 5000);
  auto expect = std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100);
  expect.resize(5000, 0);
  EXPECT_EQ(ReadAll(*file, id), expect);
  file->Resize(id, 200);
  file->Resize(id, 300);
  expect.resize(200);
  expect.resize(300, 0);
  EXPECT_EQ(ReadAll(*file, id), expect);
  file->Commit();
  file.reset();
  file = Reopen(path);
  EXPECT_EQ(ReadAll(*file, file->Find(kRootId, u"moving")), expect);
}

TEST_P(EngineTest, WritesPastTheEndLeaveZerosInTheGap) {
  TempDir dir;
  auto file = CompoundFile::Create(dir.File("gap.cfb"), false, GetParam());
  for (uint64_t gap : {uint64_t{10}, uint64_t{5000}, uint64_t{70000}}) {
    const std::u16string name = u"g" + std::u16string(1, static_cast<char16_t>(u'0' + gap % 10));
    const uint32_t id = file->CreateElement(
        kRootId, name + u"x" + std::u16string(1, u'a' + gap % 7), EntryType::kStream);
    const uint8_t byte = 0xAB;
    file->Write(id, gap, &byte, 1);
    std::vector<uint8_t> expect(gap + 1, 0);
    expect[gap] = byte;
    EXPECT_EQ(ReadAll(*file, id), expect) << gap;
  }
}

TEST_P(EngineTest, DestroyedStorageFreesEverythingBelowIt) {
  TempDir dir;
  const std::string path = dir.File("tree.cfb");
  auto file = CompoundFile::Create(path, false, GetParam());
  const uint32_t keep = file->CreateElement(kRootId, u"keep", EntryType::kStream);
  const auto kept = Pattern(20000, 1);
  file->Write(keep, 0, kept.data(), kept.size());
  file->Commit();
  const uint64_t small = std::filesystem::file_size(path);
  const uint32_t top = file->CreateElement(kRootId, u"top", EntryType::kStorage);
  const uint32_t inner = file->CreateElement(top, u"inner", EntryType::kStorage);
  for (uint32_t parent : {top, inner}) {
    for (int i = 0; i < 5; ++i) {
      const uint32_t id =
          file->CreateElement(parent, u"s" + std::u16string(1, u'0' + i), EntryType::kStream);
      const auto bytes = Pattern(i * 3000, i);
      file->Write(id, 0, bytes.data(), bytes.size());
    }
  }
  file->Commit();
  EXPECT_GT(std::filesystem::file_size(path), small);
  const uint64_t inner_stamp = file->Stamp(inner);
  file->DestroyElement(top);
  EXPECT_FALSE(file->IsLive(inner, inner_stamp));
  EXPECT_EQ(file->Find(kRootId, u"top"), kNoStream);
  file->Commit();
  file->Commit();
  // The freed sectors are at the end once both commits moved the metadata.
  file.reset();
  file = Reopen(path, true);
  EXPECT_EQ(ReadAll(*file, file->Find(kRootId, u"keep")), kept);
  EXPECT_EQ(file->Children(kRootId).size(), 1u);
  EXPECT_LE(std::filesystem::file_size(path), small + 4 * SectorSize(GetParam()));
}

TEST_P(EngineTest, ManyChildrenStaySortedAndFindable) {
  TempDir dir;
  const std::string path = dir.File("many.cfb");
  {
    auto file = CompoundFile::Create(path, false, GetParam());
    for (int i = 0; i < 1000; ++i) {
      std::u16string name = u"n";
      for (int v = i; v > 0; v /= 7) name.push_back(static_cast<char16_t>(u'a' + v % 7));
      file->CreateElement(kRootId, name, EntryType::kStream);
    }
    file->Commit();
  }
  auto file = Reopen(path);
  const auto children = file->Children(kRootId);
  ASSERT_EQ(children.size(), 1000u);
  NameKeyLess less;
  for (size_t i = 1; i < children.size(); ++i) {
    EXPECT_TRUE(less(NameKey(file->Entry(children[i - 1]).name()),
                     NameKey(file->Entry(children[i]).name())));
  }
}

// A host adds names alphabetically ("f10000" before "f100000" before
// "f10001"); the sibling order puts shorter names first, so nearly every
// name goes somewhere in the middle, in blocks that split and empty.
TEST_P(EngineTest, ChildrenAddedOutOfSiblingOrderStayFindable) {
  TempDir dir;
  const std::string path = dir.File("mixed.cfb");
  std::vector<std::u16string> names;
  for (int i = 0; i < 6000; ++i) names.push_back(u"F" + ToU16(i));
  std::sort(names.begin(), names.end());
  {
    auto file = CompoundFile::Create(path, false, GetParam());
    std::vector<uint32_t> ids;
    for (const std::u16string& name : names)
      ids.push_back(file->CreateElement(kRootId, name, EntryType::kStream));
    for (size_t i = 0; i < names.size(); i += 3) file->DestroyElement(ids[i]);
    for (size_t i = 0; i < names.size(); ++i) {
      std::u16string lower = names[i];
      lower[0] = u'f';
      EXPECT_EQ(file->Find(kRootId, lower), i % 3 == 0 ? kNoStream : ids[i]) << i;
    }
    EXPECT_THROW(file->CreateElement(kRootId, names[1], EntryType::kStream), Error);
    file->Commit();
  }
  EXPECT_EQ(testing::ReaderComplaints(path), "");
  auto file = Reopen(path);
  const auto children = file->Children(kRootId);
  ASSERT_EQ(children.size(), 4000u);
  NameKeyLess less;
  for (size_t i = 1; i < children.size(); ++i)
    EXPECT_TRUE(less(NameKey(file->Entry(children[i - 1]).name()),
                     NameKey(file->Entry(children[i]).name())));
}

// Renames and erases leave old names and attributes behind in the
// directory's memory; enough of them make it pack the names anew.
TEST_P(EngineTest, NamesAndClassesStayRightThroughManyRenamesAndErases) {
  TempDir dir;
  const std::string path = dir.File("renamed.cfb");
  auto file = CompoundFile::Create(path, false, GetParam());
  const auto long_name = [](int i) { return u"a stream with a long name " + ToU16(i); };
  const auto short_name = [](int i) { return u"r" + ToU16(i); };
  std::vector<uint32_t> ids;
  for (int i = 0; i < 3000; ++i)
    ids.push_back(file->CreateElement(kRootId, long_name(i), EntryType::kStream));
  const std::array<uint8_t, 16> clsid{1, 2, 3};
  for (int i = 0; i < 3000; ++i) {
    file->RenameElement(ids[i], short_name(i));
    if (i % 3 == 0) {
      file->SetClass(ids[i], clsid);
      file->DestroyElement(ids[i]);
    }
  }
  const uint32_t reused = file->CreateElement(kRootId, u"new", EntryType::kStream);
  EXPECT_EQ(file->Entry(reused).attributes().clsid, (std::array<uint8_t, 16>{}));
  file->Commit();
  const auto expect_names = [&](CompoundFile& f) {
    EXPECT_EQ(f.Children(kRootId).size(), 2001u);
    for (int i = 0; i < 3000; ++i) {
      EXPECT_EQ(f.Find(kRootId, long_name(i)), kNoStream);
      EXPECT_EQ(f.Find(kRootId, short_name(i)), i % 3 == 0 ? kNoStream : ids[i]) << i;
    }
  };
  expect_names(*file);
  file.reset();
  expect_names(*Reopen(path));
}

TEST_P(EngineTest, ReadOnlyFileRefusesChanges) {
  TempDir dir;
  const std::string path = dir.File("ro.cfb");
  {
    auto created = CompoundFile::Create(path, false, GetParam());
    created->CreateElement(kRootId, u"x", EntryType::kStream);
    created->Commit();
  }
  auto file = Reopen(path);
  const uint32_t id = file->Find(kRootId, u"x");
  ASSERT_NE(id, kNoStream);
  const uint8_t byte = 1;
  try {
    file->Write(id, 0, &byte, 1);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), Errc::kAccessDenied);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, EngineTest, ::testing::Values(Version::k3, Version::k4),
                         [](const auto& info) { return info.param == Version::k3 ? "v3" : "v4"; });

TEST(EngineLimits, Version3StopsBelowTwoGigabytesAndStaysValid) {
  TempDir dir;
  const std::string path = dir.File("big.cfb");
  auto file = CompoundFile::Create(path, false, Version::k3);
  const uint32_t id = file->CreateElement(kRootId, u"big", EntryType::kStream);
  const auto bytes = Pattern(5000, 3);
  file->Write(id, 0, bytes.data(), bytes.size());
  try {
    file->Resize(id, uint64_t{3} << 30);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), Errc::kMediumFull);
  }
  EXPECT_EQ(ReadAll(*file, id), bytes);
  file->Commit();
  file.reset();
  file = Reopen(path);
  EXPECT_EQ(ReadAll(*file, file->Find(kRootId, u"big")), bytes);
}

TEST(EngineLimits, AWriteTheDiskRefusesLeavesTheStreamAsItWas) {
  TempDir dir;
  const std::string path = dir.File("full.cfb");
  auto file = CompoundFile::Create(path, false, Version::k3);
  const uint32_t id = file->CreateElement(kRootId, u"s", EntryType::kStream);
  const auto before = Pattern(10000, 4);
  file->Write(id, 0, before.data(), before.size());
  file->Commit();
  // The file may not grow past 64 KiB: writes beyond fail with EFBIG.
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old_limit;
  limit.rlim_cur = 64 << 10;
  setrlimit(RLIMIT_FSIZE, &limit);
  const auto more = Pattern(200000, 5);
  Errc code = Errc::kCorrupt;
  try {
    file->Write(id, before.size(), more.data(), more.size());
  } catch (const Error& e) {
    code = e.code();
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(code, Errc::kMediumFull);
  EXPECT_EQ(ReadAll(*file, id), before);
  file->Commit();
  file.reset();
  file = Reopen(path);
  EXPECT_EQ(ReadAll(*file, file->Find(kRootId, u"s")), before);
}

TEST(EngineLimits, Version4PassesTwoGigabytesAroundTheRangeLockSector) {
  TempDir dir;
  const std::string path = dir.File("huge.cfb");
  const uint64_t size = (uint64_t{2} << 30) + 8192;
  {
    auto file = CompoundFile::Create(path, false, Version::k4);
    const uint32_t id = file->CreateElement(kRootId, u"huge", EntryType::kStream);
    file->Resize(id, size);  // sparse: nothing written but the tail
    const auto tail = Pattern(10000, 9);
    file->Write(id, size - tail.size(), tail.data(), tail.size());
    file->Commit();
  }
  auto file = Reopen(path);
  const uint32_t id = file->Find(kRootId, u"huge");
  ASSERT_NE(id, kNoStream);
  EXPECT_EQ(file->Entry(id).size(), size);
  std::vector<uint8_t> tail(10000);
  file->Read(id, size - tail.size(), tail.data(), tail.size());
  EXPECT_EQ(tail, Pattern(10000, 9));
}

}  // namespace
}  // namespace cfb
