// Display names, paths, headers, open accounting and callback forwarding of
// the generic archive tree.
#include "wcx/archive_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "wcx/names.h"

namespace wcx {
namespace {

struct Entry : TqorWCXFile {
  using TqorWCXFile::TqorWCXFile;
};

// A folder opened by hand, so that children can be linked into it.
struct OpenFolder : TqorWCXDir {
  OpenFolder(TqorWCXDir* parent, const std::string& name) : TqorWCXDir(parent, name) { Open(); }
  ~OpenFolder() override { ShutDown(); }
};

EntryHeader Header(TqorWCXFile& node) {
  EntryHeader header;
  node.GetHeaderData(header);
  return header;
}

TEST(DisplayNames, SanitizeEscapesReservedAndControlBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"a:b", "a%3Ab"},
      {"100%", "100%25"},
      {"\x05x", "%05x"},
      {"caf\xE9", "caf\xE9"},
      {"\"*<>?|/\\", "%22%2A%3C%3E%3F%7C%2F%5C"},
      {"tab\there", "tab%09here"},
      // No display name is empty, ".", ".." or otherwise climbs out of a folder.
      {"", "%"},
      {".", "%2E"},
      {"..", "%2E%2E"},
      {"...", "%2E%2E%2E"},
      {".x", ".x"},
      {"a..", platform::kWindowsFileNames ? "a.%2E" : "a.."},
      {"con.txt", platform::kWindowsFileNames ? "%63on.txt" : "con.txt"},
      {"Lpt9", platform::kWindowsFileNames ? "%4Cpt9" : "Lpt9"},
      {"LPT0", "LPT0"},
      {"console", "console"}};
  for (const auto& [raw, shown] : cases) EXPECT_EQ(SanitizeName(raw), shown) << raw;
}

TEST(DisplayNames, SiblingsGetUniqueSuffixes) {
  OpenFolder root(nullptr, "");
  Entry data(&root, "Data"), lower(&root, "data"), upper(&root, "DATA");
  EXPECT_EQ(data.Name(), "Data");
  EXPECT_EQ(lower.Name(), "data (02)");
  EXPECT_EQ(upper.Name(), "DATA (03)");

  Entry taken(&root, "x (02)"), x1(&root, "x"), x2(&root, "x");
  EXPECT_EQ(x1.Name(), "x");
  EXPECT_EQ(x2.Name(), "x (03)");

  // Past the first 254 the suffix grows to three digits.
  OpenFolder many(&root, "many");
  for (int i = 0; i < 256; ++i) new Entry(&many, "n");
  EXPECT_EQ(many.Items(1)->Name(), "n (02)");
  EXPECT_EQ(many.Items(254)->Name(), "n (FF)");
  EXPECT_EQ(many.Items(255)->Name(), "n (100)");
}

TEST(DisplayNames, ANameIsFreeAgainOnceItsEntryIsGone) {
  OpenFolder root(nullptr, "");
  std::vector<Entry*> entries;
  for (int i = 0; i < 100; ++i) entries.push_back(new Entry(&root, "e" + std::to_string(i)));
  for (int i = 0; i < 100; i += 3) delete entries[i];
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(root.IndexOfName("E" + std::to_string(i)) >= 0, i % 3 != 0) << i;
  Entry again(&root, "E0");
  EXPECT_EQ(again.Name(), "E0");
  EXPECT_EQ(root.Items(root.IndexOfName("e1"))->Name(), "e1");
}

TEST(Paths, JoinDisplayNamesBelowTheRoot) {
  OpenFolder root(nullptr, "");
  OpenFolder a(&root, "a");
  Entry b(&a, "b:c");
  EXPECT_EQ(root.GetPath(), "");
  EXPECT_EQ(a.GetPath(), "a");
  EXPECT_EQ(b.GetPath(), "a/b%3Ac");
  EXPECT_EQ(b.IndexInParent(), 0);
  EXPECT_EQ(root.IndexOfName("A"), 0);
  EXPECT_EQ(root.IndexOfName("missing"), -1);
}

TEST(Headers, CarryTheWholePathAndFolderGetsItsMark) {
  OpenFolder root(nullptr, "");
  Entry longName(&root, std::string(2000, 'n'));
  EntryHeader header;
  header.FileTime = header.FileAttr = 0x7F7F7F7F;
  longName.FillHeader(header);
  EXPECT_EQ(header.FileName, std::string(2000, 'n')) << "the exports cut it to their field";
  EXPECT_EQ(header.FileTime, 0x7F7F7F7F) << "FillHeader writes FileName only";

  OpenFolder folder(&root, "f");
  EXPECT_EQ(Header(folder).FileAttr, static_cast<int32_t>(platform::kFolderMark));
  EXPECT_EQ(Header(longName).FileAttr, 0);
}

TEST(OpenAccounting, SecondOpenAndCloseWhenClosedFail) {
  OpenFolder root(nullptr, "");
  new Entry(&root, "child");
  try {
    root.Open();
    FAIL();
  } catch (const rtl::Exception& e) {
    EXPECT_STREQ(e.what(), "Open error: FOpenRef <> 0");
  }
  EXPECT_EQ(root.ItemCount(), 0) << "the children of the first open are freed anyway";
  root.Close();
  try {
    root.Close();
    FAIL();
  } catch (const rtl::Exception& e) {
    EXPECT_STREQ(e.what(), "Close error: FOpenRef <> 1");
  }
  try {
    root.Items(5);
    FAIL();
  } catch (const rtl::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
}

TEST(OpenAccounting, DestroyingRootsBalancesTheLiveCount) {
  const int32_t before = LiveItemCount;
  {
    std::unique_ptr<TqorWCXDir> root = TqorWCXDir::Class().CreateArchive("x", 1, true);
    EXPECT_EQ(root->ArcName(), "x");
    EXPECT_EQ(root->GetOpenMode(), 1);
    EXPECT_TRUE(root->ForPacking());
    root->Open();
    auto* sub = new OpenFolder(root.get(), "sub");
    new Entry(sub, "e");
    EXPECT_EQ(LiveItemCount, before + 3);
    EXPECT_EQ(sub->GetOpenMode(), 1);
  }
  EXPECT_EQ(LiveItemCount, before);
}

int32_t gCallbackCalls;
std::string gAnsiName;
std::u16string gWideName;
int32_t WCX_API CountingProcessData(char* name, int32_t) {
  gAnsiName = name;
  return ++gCallbackCalls, 0;
}
int32_t WCX_API WideProcessData(WCHAR* name, int32_t size) {
  gWideName = reinterpret_cast<char16_t*>(name);
  return size;
}
int32_t WCX_API ChangeVol(char*, int32_t mode) { return mode + 1; }

TEST(Callbacks, ReachTheHostThroughTheRootInTheFormItSetThem) {
  testing_support::ScopedLocale western("en_US.CP1252");
  OpenFolder root(nullptr, "");
  OpenFolder sub(&root, "sub");
  Entry entry(&sub, "e");
  EXPECT_EQ(entry.DoProcessData("e", 5), 1) << "no callback never cancels";
  EXPECT_EQ(entry.DoChangeVol("e", 5), 0);
  gCallbackCalls = 0;
  root.SetProcessDataCallback(CountingProcessData);
  root.SetChangeVolCallback(ChangeVol);
  sub.SetProcessDataCallback(tProcessDataProc{nullptr});  // only the root's callback counts
  EXPECT_EQ(entry.DoProcessData("\u4E2D/\u00E9", 5), 0);
  EXPECT_EQ(gCallbackCalls, 1);
  EXPECT_EQ(gAnsiName, "#4E2D/\xE9") << "the code page's form, escaped where it falls short";
  EXPECT_EQ(entry.DoChangeVol("e", 5), 6);
  root.SetProcessDataCallback(WideProcessData);
  EXPECT_EQ(entry.DoProcessData("\u4E2D/\u00E9", 7), 7) << "a host that set both hears in UTF-16";
  EXPECT_EQ(gWideName, u"\u4E2D/\u00E9");
  EXPECT_EQ(gCallbackCalls, 1);
}

TEST(FolderExtraction, CreatesOneLevelOnly) {
  testing_support::TempDir dir;
  OpenFolder root(nullptr, "");
  OpenFolder folder(&root, "f");
  EXPECT_EQ(folder.ExtractTo(dir / "new"), 0);
  EXPECT_EQ(folder.ExtractTo(dir / "new"), E_EWRITE) << "exists already";
  EXPECT_EQ(folder.ExtractTo(dir / "missing/new"), E_EWRITE);
  EXPECT_EQ(folder.TestItem(), 0);
  Entry entry(&root, "e");
  EXPECT_EQ(entry.TestItem(), E_NOT_SUPPORTED);
  EXPECT_EQ(entry.DeleteItem(), E_NOT_SUPPORTED);
  EXPECT_EQ(root.CreateFolder("x"), E_NOT_SUPPORTED);
}

TEST(ArchiveClass, BaseClassOperationsAreAbstract) {
  EXPECT_THROW(TqorWCXDir::Class().GetCapabilities(), rtl::EAbstractError);
  EXPECT_THROW(TqorWCXDir::Class().CanHandleFile("x"), rtl::EAbstractError);
}

}  // namespace
}  // namespace wcx
