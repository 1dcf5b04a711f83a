// Compaction keeps every byte of a file that random edits left fragmented:
// the copy written afresh has each chain in one ascending run and the
// directory first, in either sector size; moving content down in place
// shrinks the file under the commit rules.
#include <gtest/gtest.h>

#include <algorithm>

#include "model.h"
#include "raw_file.h"
#include "reader_checks.h"
#include "test_files.h"

namespace cfb::testing {
namespace {

// A file edited at random, and the model of what it holds.
struct EditedFile {
  EditedFile(const std::string& path, uint32_t seed) {
    OpGenerator ops(seed);
    auto file = CompoundFile::Create(path, false, Version::k3);
    for (int step = 0; step < 400; ++step) {
      const Op op = ops.Next(model);
      if (model.Apply(op) != ApplyToEngine(op, *file)) ADD_FAILURE() << "step " << step;
    }
    file->Commit();
  }
  Model model;
};

// The sectors of the directory's chain, read through the FAT.
std::vector<uint32_t> DirectoryChain(const std::string& path) {
  RawFile raw(path);
  std::vector<uint32_t> chain;
  for (uint32_t s = LoadU32(&raw.bytes()[0x30]); s <= kMaxRegSect && chain.size() < 100000;
       s = raw.Fat(s))
    chain.push_back(s);
  return chain;
}

// Every chain of the file, as its sectors in order, read through the FAT.
void ExpectAscendingRuns(const std::string& path) {
  auto file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  RawFile raw(path);
  auto expect_run = [&](uint32_t start, const char* what) {
    for (uint32_t s = start, n = 0; s < kMaxRegSect && n < (1u << 24); ++n) {
      const uint32_t next = raw.Fat(s);
      if (next == kEndOfChain) return;
      ASSERT_EQ(next, s + 1) << what << " at sector " << s;
      s = next;
    }
  };
  expect_run(LoadU32(&raw.bytes()[0x30]), "directory");
  EXPECT_EQ(LoadU32(&raw.bytes()[0x30]), 0u) << "the directory comes first";
  if (file->Entry(kRootId).size() > 0) expect_run(file->Entry(kRootId).start(), "mini stream");
  std::vector<uint32_t> storages{kRootId};
  while (!storages.empty()) {
    const uint32_t storage = storages.back();
    storages.pop_back();
    for (uint32_t id : file->Children(storage)) {
      const EntryView e = file->Entry(id);
      if (e.is_storage()) storages.push_back(id);
      if (e.is_stream() && e.size() >= kMiniStreamCutoff) expect_run(e.start(), "stream");
    }
  }
}

TEST(Compaction, ACopyWrittenAfreshHoldsEverythingInAscendingRuns) {
  TempDir dir;
  const std::string path = dir.File("edited.cfb");
  EditedFile edited(path, 7);
  auto source = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  EXPECT_EQ(ReaderComplaints(path), "");
  for (Version version : {Version::k3, Version::k4}) {
    const std::string copy = dir.File(version == Version::k3 ? "copy3.cfb" : "copy4.cfb");
    CompoundFile::CreateCopy(*source, copy, version).reset();
    auto reopened = CompoundFile::Open(copy, CompoundFile::Access::kRead, ShareLock::kShared);
    ExpectSameContent(*reopened, edited.model);
    EXPECT_EQ(reopened->FreeBytes(), 0u);
    if (version == Version::k3) ExpectAscendingRuns(copy);
    EXPECT_EQ(ReaderComplaints(copy), "");
    EXPECT_EQ(ListWithOlefile(copy), edited.model.Listed());
  }
}

// Commits keep the directory's sectors ascending, which some readers need
// to list a file whole, also when the free sectors lie below them.
TEST(Compaction, EditsKeepTheDirectoryChainAscending) {
  TempDir dir;
  const std::string path = dir.File("grown.cfb");
  auto file = CompoundFile::Create(path, false, Version::k3);
  std::vector<uint32_t> data, names;
  for (int i = 0; i < 8; ++i) {
    data.push_back(
        file->CreateElement(kRootId, u"data" + Utf16(std::to_string(i)), EntryType::kStream));
    const auto bytes = Pattern(5000, i);
    file->Write(data.back(), 0, bytes.data(), bytes.size());
  }
  for (int i = 0; i < 40; ++i)
    names.push_back(
        file->CreateElement(kRootId, u"n" + Utf16(std::to_string(100 + i)), EntryType::kStream));
  file->Commit();
  for (int round = 0; round < 8; ++round) {
    file->DestroyElement(data[round]);  // free sectors below the directory
    file->Commit();
    file->Write(names[39 - round], 0, "x", 1);  // a late page of the directory changes
    file->Commit();
    const std::vector<uint32_t> chain = DirectoryChain(path);
    EXPECT_TRUE(std::is_sorted(chain.begin(), chain.end())) << "round " << round;
  }
  file.reset();
  EXPECT_EQ(ReaderComplaints(path), "");
}

TEST(Compaction, MovingContentDownShrinksTheFileInPlace) {
  TempDir dir;
  const std::string path = dir.File("shrink.cfb");
  {
    auto file = CompoundFile::Create(path, false);
    const uint32_t big = file->CreateElement(kRootId, u"big", EntryType::kStream);
    const auto bytes = Pattern(3 << 20, 1);
    file->Write(big, 0, bytes.data(), bytes.size());
    const uint32_t kept = file->CreateElement(kRootId, u"kept", EntryType::kStream);
    const auto kept_bytes = Pattern(100000, 2);
    file->Write(kept, 0, kept_bytes.data(), kept_bytes.size());
    file->Commit();
    file->DestroyElement(big);
    file->Commit();
  }
  auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
  EXPECT_GT(file->FreeBytes(), 3000000u);
  EXPECT_TRUE(file->CompactInPlace());
  EXPECT_LT(file->file_size(), 140000u);
  file.reset();
  file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  std::vector<uint8_t> read(100000);
  file->Read(file->Find(kRootId, u"kept"), 0, read.data(), read.size());
  EXPECT_EQ(read, Pattern(100000, 2));
  file.reset();
  EXPECT_EQ(ReaderComplaints(path), "");
}

}  // namespace
}  // namespace cfb::testing
