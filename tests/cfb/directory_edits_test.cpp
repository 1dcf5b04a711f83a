// Edits of a large storage touch only what they change: its sibling tree
// stays red-black through inserts and removals, and a commit rewrites the
// few directory pages that changed in place of the whole directory, so
// deleting and adding a stream again and again does not grow the file.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "cfb/compound_file.h"
#include "raw_file.h"
#include "tool_runner.h"
#include "reader_checks.h"
#include "test_files.h"

namespace cfb::testing {
namespace {

std::u16string Name(int i) { return u"item" + Utf16(std::to_string(i)); }

// The black nodes on every path from the root of the tree under storage to
// an empty link, read from the file's bytes; -1 when the tree is not a
// red-black tree.
int BlackHeight(RawFile& raw, uint32_t id, bool parent_red = false) {
  if (id == kNoStream) return 0;
  const uint8_t* e = raw.Entry(id);
  const bool red = e[0x43] == 0;
  if (red && parent_red) return -1;
  const int left = BlackHeight(raw, LoadU32(e + 0x44), red);
  const int right = BlackHeight(raw, LoadU32(e + 0x48), red);
  if (left < 0 || left != right) return -1;
  return left + (red ? 0 : 1);
}

TEST(DirectoryEdits, ManyInsertsAndRemovesKeepTheTreeRedBlack) {
  TempDir dir;
  const std::string path = dir.File("tree.cfb");
  std::mt19937 rng(7);
  std::vector<bool> present(400, false);
  auto file = CompoundFile::Create(path, false);
  const uint32_t storage = file->CreateElement(kRootId, u"crowd", EntryType::kStorage);
  for (int round = 0; round < 6; ++round) {
    for (int step = 0; step < 300; ++step) {
      const int i = static_cast<int>(rng() % present.size());
      if (present[i])
        file->DestroyElement(file->Find(storage, Name(i)));
      else
        file->CreateElement(storage, Name(i), EntryType::kStream);
      present[i] = !present[i];
    }
    file->Commit();
    file.reset();
    RawFile raw(path);  // 400 entries: the header's DIFAT reaches all
    const uint32_t root = LoadU32(raw.Entry(storage) + 0x4C);
    EXPECT_EQ(raw.Entry(root)[0x43], 1) << "round " << round;  // a black root
    EXPECT_GT(BlackHeight(raw, root), 0) << "round " << round;
    file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
    for (int i = 0; i < static_cast<int>(present.size()); ++i)
      ASSERT_EQ(file->Find(storage, Name(i)) != kNoStream, present[i]) << i;
  }
  file.reset();
  EXPECT_EQ(ReaderComplaints(path), "");
}

// Each cycle runs in a process of its own in real use: the file is opened
// anew for each commit.
TEST(DirectoryEdits, DeletingAndAddingAStreamAgainDoesNotGrowTheFile) {
  constexpr int kStreams = 3000;
  constexpr uint64_t kStreamBytes = 10 << 10;
  for (const Version version : {Version::k3, Version::k4}) {
    TempDir dir;
    const std::string path = dir.File("crowd.cfb");
    const std::vector<uint8_t> content = Pattern(kStreamBytes, 3);
    auto file = CompoundFile::Create(path, false, version);
    const uint32_t storage = file->CreateElement(kRootId, u"crowd", EntryType::kStorage);
    for (int i = 0; i < kStreams; ++i) {
      const uint32_t id = file->CreateElement(storage, Name(i), EntryType::kStream);
      file->Write(id, 0, content.data(), i % 10 == 0 ? content.size() : 100);
    }
    file->Commit();
    const uint32_t sector = file->version() == Version::k3 ? 512 : 4096;
    const uint64_t size_before = file->file_size();
    constexpr int kCycles = 5;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      file.reset();
      file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
      file->DestroyElement(file->Find(storage, Name(1500)));
      file->Commit();
      file.reset();
      file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
      const uint32_t id = file->CreateElement(storage, Name(1500), EntryType::kStream);
      file->Write(id, 0, content.data(), content.size());
      file->Commit();
    }
    // The stream's sectors once (they come back to the same place at
    // best) and a few pages of metadata per cycle.
    const uint64_t grown = file->file_size() - size_before;
    EXPECT_LE(grown, kStreamBytes + kCycles * 4 * uint64_t{sector})
        << "grew " << grown / sector << " sectors";
    file.reset();
    EXPECT_EQ(ReaderComplaints(path), "");
  }
}

}  // namespace
}  // namespace cfb::testing
