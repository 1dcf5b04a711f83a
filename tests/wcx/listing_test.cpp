// The listing cursor and the per-entry operations, on the in-memory store.
#include <gtest/gtest.h>

#include "memory_store.h"
#include "temp_dir.h"
#include "tree_helpers.h"
#include "wcx/extract_item.h"

namespace wcx {
namespace {

using testing_support::ListAll;
using testing_support::ReadFile;
using testing_support::SeekTo;
using testing_support::TempDir;
using Paths = std::vector<std::string>;

std::unique_ptr<TqorWCXDir> OpenArchive(const std::string& name, const std::string& tree) {
  memstore::Define(name, tree);
  return memstore::MemDir::Class().CreateArchive(name, PK_OM_EXTRACT, false);
}

TEST(Listing, DepthFirstAndRestartsAfterTheEnd) {
  auto root = OpenArchive("a", "D A\nF A/x 1\nF A/y 2\nF b 3\nD C\n");
  auto listing = ListAll(*root);
  EXPECT_EQ(listing.paths, (Paths{"A/", "A/x", "A/y", "b", "C/"}));
  EXPECT_EQ(listing.end, E_END_ARCHIVE);
  EXPECT_FALSE(root->IsOpen());
  EXPECT_EQ(ListAll(*root).paths.front(), "A/") << "a further call starts again";
}

TEST(Listing, EmptyMissingAndUnopenable) {
  EXPECT_EQ(ListAll(*OpenArchive("empty", "")).end, E_END_ARCHIVE);

  auto missing = memstore::MemDir::Class().CreateArchive("nowhere", PK_OM_LIST, false);
  auto listing = ListAll(*missing);
  EXPECT_EQ(listing.end, E_EREAD);
  EXPECT_TRUE(listing.paths.empty());

  auto root = OpenArchive("bad", "D A failopen\nF A/x 1\nD B\nF B/y 1\nF c 1\n");
  EXPECT_EQ(ListAll(*root).paths, (Paths{"A/", "B/", "B/y", "c"}));
}

TEST(Processing, NeedsAnEntryUnderTheCursor) {
  auto root = OpenArchive("p", "F a 10\n");
  EXPECT_EQ(root->ProcessCurrent(PK_SKIP, nullptr, nullptr), E_NO_FILES);
  ASSERT_TRUE(SeekTo(*root, "a"));
  EXPECT_EQ(root->ProcessCurrent(PK_SKIP, nullptr, nullptr), 0);
  EXPECT_EQ(root->ProcessCurrent(PK_TEST, nullptr, nullptr), 0);
  EXPECT_EQ(root->ProcessCurrent(7, nullptr, nullptr), E_NOT_SUPPORTED);
  ListAll(*root);
  EXPECT_EQ(root->ProcessCurrent(PK_TEST, nullptr, nullptr), E_NO_FILES);
}

TEST(Extraction, TargetIsDestPathTextFollowedByDestName) {
  TempDir dir;
  auto root = OpenArchive("x", "F a.txt 3000\n");
  ASSERT_TRUE(SeekTo(*root, "a.txt"));
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, dir.Slash().c_str(), "a.txt"), 0);
  EXPECT_EQ(ReadFile(dir / "a.txt"), *memstore::Content("x", "a.txt"));
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, (dir / "out").c_str(), "a.txt"), 0);
  EXPECT_EQ(ReadFile(dir / "outa.txt").size(), 3000u);
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "full").c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "full").size(), 3000u);
}

TEST(Extraction, FoldersCreateOneDirectory) {
  TempDir dir;
  auto root = OpenArchive("f", "D sub\n");
  ASSERT_TRUE(SeekTo(*root, "sub"));
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "sub").c_str()), 0);
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "sub").c_str()), E_EWRITE);
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "no/sub").c_str()), E_EWRITE);
}

int32_t gBlocksBeforeCancel;
int32_t WCX_API CancelAfterBlocks(char*, int32_t) { return gBlocksBeforeCancel-- > 0 ? 1 : 0; }

// A failed or cancelled extraction leaves no file that looks complete, and
// the file it was to replace as it was.
TEST(Extraction, FailureLeavesNoIncompleteFileAndKeepsTheOldOne) {
  TempDir dir;
  auto root = OpenArchive("h", "F half 5000 failhalf\nF big 5000\nF raises 10 throwextract\n");
  root->SetProcessDataCallback(CancelAfterBlocks);

  gBlocksBeforeCancel = 100;
  ASSERT_TRUE(SeekTo(*root, "half"));
  dir.Write("half", "old content");
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "half").c_str()), E_EWRITE);
  EXPECT_EQ(ReadFile(dir / "half"), "old content");

  gBlocksBeforeCancel = 1;
  ASSERT_TRUE(SeekTo(*root, "big"));
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "big").c_str()), E_EABORTED);
  EXPECT_FALSE(std::filesystem::exists(dir / "big"));

  ASSERT_TRUE(SeekTo(*root, "raises"));
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, (dir / "raises").c_str()), E_EREAD);
  EXPECT_FALSE(std::filesystem::exists(dir / "raises"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file stays behind";

  // An entry that cannot extract at all leaves an existing file alone.
  TqorWCXFile plain(root->CurrentItem()->Parent(), "plain");
  dir.Write("keep", "keep me");
  EXPECT_EQ(ExtractItem(plain, dir / "keep"), E_NOT_SUPPORTED);
  EXPECT_EQ(ReadFile(dir / "keep"), "keep me");
}

TEST(Extraction, AppliesTheEntryAttributes) {
  TempDir dir;
  auto root = OpenArchive("m", "F a 1\n");
  ASSERT_TRUE(SeekTo(*root, "a"));
  std::filesystem::path target = dir / "a";
  dir.Write("a", "");
  std::filesystem::permissions(target, std::filesystem::perms::owner_all);
  EXPECT_EQ(root->ProcessCurrent(PK_EXTRACT, nullptr, target.c_str()), 0);
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0644));
}

TEST(Deleting, RemovesTheEntryUnderTheCursor) {
  auto root = OpenArchive("d", "D A\nF A/x 1\nF b 1\n");
  ASSERT_TRUE(SeekTo(*root, "A"));
  EXPECT_EQ(root->ProcessCurrent(OP_DELETE, nullptr, "A"), 0);
  EXPECT_EQ(ListAll(*root).paths, (Paths{"b"})) << "the deleted folder fails to open";
  EXPECT_EQ(memstore::Describe("d"), "F b 1\n");
}

}  // namespace
}  // namespace wcx
