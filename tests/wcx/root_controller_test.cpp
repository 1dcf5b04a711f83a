// Packing and deleting through the root controller, on the in-memory store.
#include <gtest/gtest.h>

#include <filesystem>

#include "memory_store.h"
#include "temp_dir.h"
#include "tree_helpers.h"
#include "wcx/wcx_root.h"

namespace wcx {
namespace {

using testing_support::HostList;
using testing_support::TempDir;

// The generic layer started with the in-memory class registered, as a
// storage layer would register its own.
class RootController : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeArchiveLayer();
    RegisterArchiveClass(memstore::MemDir::Class());
  }
  void TearDown() override {
    SetWCXRoot(nullptr);
    EXPECT_EQ(LiveItemCount, 0);
  }
  int32_t Pack(const std::string& arc, const std::string& subPath, const std::string& list,
               int32_t flags = 0) {
    return WCXRoot()->DoPackFiles(arc, subPath, src.Slash(), list.c_str(), flags);
  }
  int32_t Delete(const std::string& arc, const std::string& list) {
    return WCXRoot()->DoDeleteFiles(arc, list.c_str());
  }
  TempDir src;
};

TEST_F(RootController, EmptyListTouchesNothing) {
  EXPECT_EQ(Pack("never", "", HostList({})), 0);
  EXPECT_EQ(memstore::Archives().count("never"), 0u);
  EXPECT_EQ(Delete("never", HostList({})), 0);
}

TEST_F(RootController, PackingCreatesTheArchiveAndDropsDuplicates) {
  src.Write("a.txt", "a");
  src.Write("b.txt", "bb");
  EXPECT_EQ(Pack("new", "", HostList({"a.txt", "A.TXT", "b.txt"})), 0);
  EXPECT_EQ(memstore::Describe("new"), "F a.txt 1\nF b.txt 2\n");
  // The source folder may come with or without its trailing delimiter.
  EXPECT_EQ(WCXRoot()->DoPackFiles("new", "", src.Slash() + "/", HostList({"a.txt"}).c_str(), 0),
            0);
  std::string bare = src.Slash();
  bare.pop_back();
  EXPECT_EQ(WCXRoot()->DoPackFiles("new", "", bare, HostList({"b.txt"}).c_str(), 0), 0);
}

TEST_F(RootController, SubPathMustNameAFolderByItsWholePath) {
  src.Write("x", "x");
  memstore::Define("s", "D docs\nD docs/old\nF file 1\n");
  EXPECT_EQ(Pack("s", "Docs", HostList({"x"})), 0);
  EXPECT_EQ(Pack("s", "docs/OLD", HostList({"x"})), 0);
  EXPECT_EQ(memstore::Describe("s"), "D docs\nD docs/old\nF docs/old/x 1\nF docs/x 1\nF file 1\n");
  for (const char* bad : {"docs/", "old", "file", "missing"})
    EXPECT_EQ(Pack("s", bad, HostList({"x"})), E_NO_FILES) << bad;
}

TEST_F(RootController, FailingEntryStopsPackingAndKeepsEarlierOnes) {
  src.Write("one", "1");
  src.Write("f/two", "2");
  src.Write("three", "3");
  memstore::Define("p", "F f 1\n");
  EXPECT_EQ(Pack("p", "", HostList({"one", "f/two", "three"})), E_EWRITE);
  EXPECT_EQ(memstore::Describe("p"), "F f 1\nF one 1\n");
  EXPECT_EQ(Pack("p", "", HostList({"missing"})), E_EREAD) << "a source that cannot be read";
}

// Moved files go only once the archive holds them durably, and a failed
// call leaves no archive it made.
TEST_F(RootController, MovingWaitsForTheCommit) {
  for (const char* name : {"one", "two"}) src.Write(name, name);
  memstore::Define("m", "F f 1\n");
  memstore::FailNextCommit() = true;
  EXPECT_EQ(Pack("m", "", HostList({"one"}), PK_PACK_MOVE_FILES), E_EWRITE);
  EXPECT_TRUE(std::filesystem::exists(src / "one")) << "the commit failed";

  EXPECT_EQ(Pack("m", "", HostList({"one", "f/x", "two"}), PK_PACK_MOVE_FILES), E_EWRITE);
  EXPECT_FALSE(std::filesystem::exists(src / "one")) << "stored before the failure";
  EXPECT_TRUE(std::filesystem::exists(src / "two")) << "never stored";

  EXPECT_EQ(Pack("fresh", "", HostList({"two", "missing"}), PK_PACK_MOVE_FILES), E_EREAD);
  EXPECT_EQ(memstore::Archives().count("fresh"), 0u);
  EXPECT_TRUE(std::filesystem::exists(src / "two"));
  EXPECT_EQ(Pack("fresh", "sub", HostList({"two"})), E_NO_FILES);
  EXPECT_EQ(memstore::Archives().count("fresh"), 0u);
}

int32_t gGlobalCalls;
int32_t WCX_API GlobalProgress(char*, int32_t) { return ++gGlobalCalls; }

TEST_F(RootController, PackingReportsToTheGlobalCallback) {
  src.Write("a", std::string(3 * memstore::kBlockSize, 'a'));
  gGlobalCalls = 0;
  WCXRoot()->SetGlobalProcessDataProc(GlobalProgress);
  EXPECT_EQ(Pack("g", "", HostList({"a"})), 0);
  EXPECT_EQ(gGlobalCalls, 3);
}

TEST_F(RootController, DeletingRemovesTopLevelItemsOnly) {
  memstore::Define("d",
                   "D docs\nF docs/a.txt 1\nD docs/sub\nF docs/sub/b.txt 1\nF readme.txt 1\n"
                   "F keep 1\n");
  EXPECT_EQ(Delete("d", HostList({"docs/*.*", "docs/a.txt", "DOCS/sub/b.txt", "readme.txt"})), 0);
  EXPECT_EQ(memstore::Describe("d"), "F keep 1\n");
  EXPECT_EQ(Delete("d", HostList({"nothing"})), 0);
  EXPECT_EQ(memstore::Describe("d"), "F keep 1\n");
}

// An archive that cannot be read is reported, not taken for "nothing to do".
TEST_F(RootController, DeletingFromAnUnreadableArchiveFails) {
  EXPECT_EQ(Delete("absent", HostList({"x"})), E_EREAD);
}

}  // namespace
}  // namespace wcx
