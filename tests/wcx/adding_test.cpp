// Adding disk files and folders below a folder, on the in-memory store.
#include <gtest/gtest.h>

#include "memory_store.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace wcx {
namespace {

using testing_support::TempDir;

// An archive root opened for packing, as the root controller does it.
struct PackRoot {
  explicit PackRoot(const std::string& name, const std::string& tree = "") {
    if (!tree.empty() || !memstore::Archives().count(name)) memstore::Define(name, tree);
    root = memstore::MemDir::Class().CreateArchive(name, OM_PACK, true);
    root->Open();
  }
  ~PackRoot() { root->Close(); }
  int32_t Add(const TempDir& src, const std::string& relName, bool move = false) {
    return root->AddPath(src.Slash(), relName, move, false, false);
  }
  std::unique_ptr<TqorWCXDir> root;
};

TEST(Adding, FolderNamesCreateFoldersWithoutOpeningThem) {
  TempDir src;
  std::filesystem::create_directory(src / "disk");
  PackRoot pack("f");
  memstore::OpenCount() = 0;
  EXPECT_EQ(pack.Add(src, "sub/"), 0);
  EXPECT_EQ(pack.Add(src, "disk"), 0) << "a directory on disk counts as a folder";
  EXPECT_EQ(pack.Add(src, "sub/"), 0) << "an existing folder is fine";
  EXPECT_EQ(memstore::OpenCount(), 0);
  EXPECT_EQ(pack.root->AddPath("", "", false, false, false), E_NO_FILES);
  EXPECT_EQ(memstore::Describe("f"), "D sub\nD disk\n");
}

// Adding never removes a moved file itself: it goes once the archive holds
// it durably, which only the root controller knows.
TEST(Adding, NestedPathWithMoveKeepsTheSource) {
  TempDir src;
  src.Write("a/b/c.txt", "content");
  {
    PackRoot pack("n");
    EXPECT_EQ(pack.Add(src, "a/b/c.txt", true), 0);
  }
  EXPECT_EQ(memstore::Describe("n"), "D a\nD a/b\nF a/b/c.txt 7\n");
  EXPECT_EQ(*memstore::Content("n", "a/b/c.txt"), "content");
  EXPECT_TRUE(std::filesystem::exists(src / "a/b/c.txt"));
}

// A failed add leaves no folder it made; one that got content stays.
TEST(Adding, FailedAddRemovesTheFoldersItMade) {
  TempDir src;
  src.Write("a/ok.txt", "ok");
  PackRoot pack("e");
  EXPECT_THROW(pack.Add(src, "new/deeper/missing.txt"), std::exception);
  EXPECT_EQ(pack.Add(src, "a/ok.txt"), 0);
  EXPECT_THROW(pack.Add(src, "a/missing.txt"), std::exception);
  EXPECT_EQ(memstore::Describe("e"), "D a\nF a/ok.txt 2\n");
}

TEST(Adding, ConflictsWithEntriesOfTheOtherKind) {
  TempDir src;
  src.Write("x.txt", "new");
  src.Write("f/y.txt", "new");
  PackRoot pack("c", "D x.txt\nF f 3\n");
  EXPECT_EQ(pack.Add(src, "x.txt"), E_EWRITE) << "the name is a folder";
  EXPECT_EQ(pack.Add(src, "f/y.txt"), E_EWRITE) << "the path runs through an entry";
  EXPECT_EQ(memstore::Describe("c"), "D x.txt\nF f 3\n");
}

int32_t gBlocksLeft;
int32_t WCX_API CancelAfter(char*, int32_t) { return gBlocksLeft-- > 0 ? 1 : 0; }

// Replacing keeps the old entry until the new content is complete.
TEST(Adding, ReplacingNeverLosesTheOldEntry) {
  TempDir src;
  src.Write("big.bin", std::string(5 * memstore::kBlockSize, 'n'));
  PackRoot pack("r", "F big.bin 10\nF gone.bin 10\n");
  const std::string old = *memstore::Content("r", "big.bin");

  EXPECT_ANY_THROW(pack.Add(src, "gone.bin")) << "the source cannot be read";
  EXPECT_EQ(memstore::Content("r", "gone.bin")->size(), 10u);

  pack.root->SetProcessDataCallback(CancelAfter);
  gBlocksLeft = 1;
  EXPECT_EQ(pack.Add(src, "big.bin"), E_EABORTED);
  EXPECT_EQ(*memstore::Content("r", "big.bin"), old);

  gBlocksLeft = 100;
  EXPECT_EQ(pack.Add(src, "big.bin"), 0);
  EXPECT_EQ(memstore::Content("r", "big.bin")->size(), 5u * memstore::kBlockSize);
  EXPECT_EQ(pack.root->ItemCount(), 2);
  EXPECT_EQ(pack.root->IndexOfName("big.bin"), 0) << "the new entry takes the old one's place";
}

TEST(Adding, ConsecutiveEntriesOfOneFolderOpenItOnce) {
  TempDir src;
  for (int i = 0; i < 50; ++i) src.Write("sub/f" + std::to_string(i), "x");
  src.Write("top", "x");
  PackRoot pack("k", "D sub\n");
  memstore::OpenCount() = 0;
  for (int i = 0; i < 50; ++i) ASSERT_EQ(pack.Add(src, "sub/f" + std::to_string(i)), 0);
  EXPECT_EQ(memstore::OpenCount(), 1);
  EXPECT_EQ(pack.Add(src, "top"), 0);
  EXPECT_EQ(pack.Add(src, "sub/f0"), 0);
  EXPECT_EQ(memstore::OpenCount(), 2) << "another path in between closes it";
}

}  // namespace
}  // namespace wcx
