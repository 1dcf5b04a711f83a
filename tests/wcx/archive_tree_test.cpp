// Display names, paths, headers, open accounting and callback forwarding of
// the generic archive tree.
#include "wcx/archive_tree.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/os.h"
#include "rtl/file_names.h"
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

// A large flat folder whose names collide only through case (ASCII and
// beyond), exact twins (damaged files) and names that look like suffixes:
// every display name stays unique, keeps its raw name, and finds its own
// entry however it is spelled, also after entries leave the middle.
TEST(DisplayNames, AFlatFolderOfTwinsStaysUniqueAndFindable) {
  OpenFolder root(nullptr, "");
  const std::vector<std::string> twins = {
      "Readme", "README", "readme",  "\xC3\x84pfel", "\xC3\xA4pfel", "\xC3\x84PFEL",
      "x (02)", "x",      "X",       "dup",          "dup",          "a/b",
      "a%2Fb",  "\x05Info", "%05Info", "",             "%"};
  std::vector<std::string> raw;
  for (int i = 0; i < 3000; ++i) {
    raw.push_back("e" + std::to_string(i));
    if (i % 150 == 0) raw.push_back(twins[static_cast<size_t>(i / 150) % twins.size()]);
  }
  raw.insert(raw.end(), twins.begin(), twins.end());
  for (const std::string& name : raw) new Entry(&root, name);

  const auto expectConsistent = [&](const char* when) {
    std::set<std::string> keys;
    for (int32_t i = 0; i < root.ItemCount(); ++i) {
      const TqorWCXFile* item = root.Items(i);
      EXPECT_TRUE(keys.insert(rtl::LowerCaseFileName(item->Name())).second)
          << when << ": " << item->Name();
      EXPECT_EQ(root.IndexOfName(item->Name()), i) << when << ": " << item->Name();
      EXPECT_EQ(root.IndexOfName(rtl::LowerCaseFileName(item->Name())), i) << when;
      EXPECT_EQ(item->IndexInParent(), i) << when;
    }
  };
  expectConsistent("linked");
  for (int32_t i = 0; i < root.ItemCount(); ++i) EXPECT_EQ(root.Items(i)->RawName(), raw[i]);
  EXPECT_EQ(root.Items(root.IndexOfName("readme (03)"))->RawName(), "readme");
  EXPECT_EQ(root.Items(root.IndexOfName("A%2FB"))->RawName(), "a/b");

  // Entries leave the middle, the front and the end.
  delete root.Items(1);
  for (int32_t i = root.ItemCount() - 1; i >= 0; i -= 7) delete root.Items(i);
  delete root.Items(0);
  expectConsistent("after deleting");
  // A name given back is free again.
  Entry readme(&root, "README"), dup(&root, "dup");
  EXPECT_EQ(readme.Name(), "README");
  expectConsistent("after adding again");
}

// A folder whose children a store lists all at once, as TqorStorageDir does.
struct ListedFolder : OpenFolder {
  using OpenFolder::OpenFolder;
  bool List(const std::vector<std::string>& names, size_t failAt = SIZE_MAX) {
    return ListChildren([&] {
      for (size_t i = 0; i < names.size(); ++i) {
        if (i == failAt) throw rtl::Exception("listing broke off");
        new Entry(this, names[i]);
      }
      return true;
    });
  }
};

// Names settled once at the end of a listing must be the names linking one
// by one gives, twins or not, and be found again before and after entries
// come and go.
TEST(DisplayNames, AListedFolderNamesItsChildrenAsLinkingOneByOneDoes) {
  const std::vector<std::string> twins = {
      "x (02)", "x", "X", "Readme", "README", "readme", "\xC3\x84pfel", "\xC3\xA4pfel", "dup",
      "dup", "a/b", "a%2Fb", "\x05Info", "%05Info", "", "%", "x (03)"};
  const std::vector<std::string> unique = {"one", "Two", "a:b", "\x01", "con", "x (02)"};
  for (const auto* raw : {&twins, &unique}) {
    OpenFolder byOne(nullptr, "");
    for (const std::string& name : *raw) new Entry(&byOne, name);
    ListedFolder listed(nullptr, "");
    EXPECT_TRUE(listed.List(*raw));
    ASSERT_EQ(listed.ItemCount(), byOne.ItemCount());
    for (int32_t i = 0; i < listed.ItemCount(); ++i) {
      EXPECT_EQ(listed.Items(i)->Name(), byOne.Items(i)->Name()) << i;
      EXPECT_EQ(listed.Items(i)->RawName(), (*raw)[static_cast<size_t>(i)]) << i;
    }
    // Deleted before any look-up, then found and named again.
    delete listed.Items(1);
    Entry again(&listed, (*raw)[1]);
    for (int32_t i = 0; i < listed.ItemCount(); ++i) {
      EXPECT_EQ(listed.IndexOfName(listed.Items(i)->Name()), i) << listed.Items(i)->Name();
      EXPECT_EQ(listed.Items(i)->IndexInParent(), i);
    }
  }
}

TEST(DisplayNames, AListingThatBreaksOffLeavesNoChildren) {
  const int32_t live = LiveItemCount;
  {
    ListedFolder listed(nullptr, "");
    EXPECT_THROW(listed.List({"a", "b", "a", "c"}, 3), rtl::Exception);
    EXPECT_EQ(listed.ItemCount(), 0);
    EXPECT_EQ(LiveItemCount, live + 1);
    Entry a(&listed, "a");
    EXPECT_EQ(a.Name(), "a");
    EXPECT_EQ(listed.IndexOfName("A"), 0);
  }
  EXPECT_EQ(LiveItemCount, live);
}

// The index's slots hold no keys: runs of one hash, wrapping past the end of
// the table, must still find every entry after any of them is taken out.
TEST(DisplayNames, TheNameIndexFindsEveryEntryAfterErasing) {
  const std::vector<uint32_t> hashes = {15, 15, 14, 15, 0, 14, 1};  // in a table of 16
  for (size_t erased = 0; erased < hashes.size(); ++erased) {
    NameIndex index;
    for (uint32_t p = 0; p < hashes.size(); ++p) index.Insert(hashes[p], p);
    index.Erase(hashes[erased], static_cast<uint32_t>(erased));
    for (uint32_t p = 0; p < hashes.size(); ++p) {
      const auto isP = [&](uint32_t position) { return position == p; };
      EXPECT_EQ(index.Find(hashes[p], isP), p == erased ? -1 : int64_t{p}) << erased << " " << p;
    }
    index.CloseGap(static_cast<uint32_t>(erased));
    for (uint32_t p = 0; p < hashes.size(); ++p) {
      if (p == erased) continue;
      const uint32_t now = p > erased ? p - 1 : p;
      EXPECT_EQ(index.Find(hashes[p], [&](uint32_t position) { return position == now; }), now);
    }
  }
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
