// Installer databases through the plug-in's exports: stream names listed
// decoded, reached, added and deleted under those names; and the time shown
// for elements that have none of their own.
#include <chrono>
#include <set>

#include "storage_plugin_fixture.h"
#include "storagewcx/installer_names.h"

namespace storage_plugin {
namespace {

using storagewcx::EncodeInstallerName;

const CLSID kInstallerDatabase{0x000C1084, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::set<std::string> Sorted(const std::vector<std::string>& paths) {
  return {paths.begin(), paths.end()};
}

// New element names may not hold '!'; other writers' files may. Elements
// made as "?name" get their '!' in the file's directory.
void MakeBangLiteral(const TempDir& dir, const std::string& file,
                     std::initializer_list<std::u16string> names) {
  std::string bytes = ReadFile(dir / file);
  for (const std::u16string& name : names) {
    const std::u16string field = name + u'\0';  // the name field ends with zeros
    const size_t at =
        bytes.find(std::string(reinterpret_cast<const char*>(field.data()), field.size() * 2));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = '!';
  }
  dir.Write(file, bytes);
}

TEST_F(StoragePlugin, InstallerDatabaseNamesShowDecoded) {
  std::string arc = dir / "tiny.msi";
  {
    CompoundBuilder file(arc);
    ASSERT_EQ(file.Storage(u"")->SetClass(kInstallerDatabase), S_OK);
    file.Stream(EncodeInstallerName(u"!_Tables"), "tables");
    file.Stream(EncodeInstallerName(u"tiny.cab"), "cab");
    file.Stream(u"\x05SummaryInformation", "summary");
    file.Stream(u"?oddname", "literal bang");  // made "!oddname" below
    file.Stream(u"plain", "stored plain");     // shows as the encoded "plain" does
    file.Stream(EncodeInstallerName(u"plain"), "stored encoded");
  }
  MakeBangLiteral(dir, "tiny.msi", {u"?oddname"});
  const std::vector<std::string> paths = Paths(arc);
  std::set<std::string> expected{"!_Tables", "tiny.cab", "#0005SummaryInformation", "#0021oddname",
                                 "plain"};
  const std::string twin = *std::find_if(paths.begin(), paths.end(), [](const std::string& p) {
    return p.starts_with("plain") && p != "plain";
  });
  expected.insert(twin);
  EXPECT_EQ(Sorted(paths), expected);
  const struct {
    std::string path;
    std::string content;
  } reached[] = {{"!_Tables", "tables"}, {"tiny.cab", "cab"}, {"#0021oddname", "literal bang"}};
  for (const auto& r : reached) {
    EXPECT_EQ(Process(arc, r.path, dir / "out"), 0) << r.path;
    EXPECT_EQ(ReadFile(dir / "out"), r.content) << r.path;
  }
  ASSERT_EQ(Process(arc, "plain", dir / "p1"), 0);
  ASSERT_EQ(Process(arc, twin, dir / "p2"), 0);
  EXPECT_EQ((std::set<std::string>{ReadFile(dir / "p1"), ReadFile(dir / "p2")}),
            (std::set<std::string>{"stored plain", "stored encoded"}))
      << "colliding names reach their own elements";

  // Added names are stored encoded, a leading '!' as a table. An escaped
  // '!' stays a plain character, which no new element name may hold.
  dir.Write("src/!New", "new table");
  dir.Write("src/#0021Lit", "new literal");
  ASSERT_EQ(Pack(arc, nullptr, dir.Slash() + "src" + platform::kPathDelim, {"!New"}), 0);
  const int32_t literal =
      Pack(arc, nullptr, dir.Slash() + "src" + platform::kPathDelim, {"#0021Lit"});
#ifdef _WIN32
  // Wine's OLE32 may take the '!' that Windows' refuses.
  if (literal == 0) {
    expected.insert("#0021Lit");
  } else {
    EXPECT_EQ(literal, E_EWRITE);
  }
#else
  EXPECT_EQ(literal, E_EWRITE);
#endif
  ASSERT_EQ(Delete(arc, {"!_Tables"}), 0);
  expected.erase("!_Tables");
  expected.insert("!New");
  EXPECT_EQ(Sorted(Paths(arc)), expected);
  EXPECT_EQ(Process(arc, "!New", dir / "new"), 0);
  EXPECT_EQ(ReadFile(dir / "new"), "new table");
#ifndef _WIN32
  std::set<std::string> stored;
  // Not Olefile(): the file holds a name new files may not hold.
  for (const auto& item : cfb::testing::ListWithOlefile(arc)) stored.insert(item.path);
  EXPECT_TRUE(stored.contains(platform::Utf16ToUtf8(EncodeInstallerName(u"!New"))));
#endif
}

TEST_F(StoragePlugin, EncodedNamesWithoutTheClassAreAnInstallerDatabaseToo) {
  std::string arc = dir / "noclass.msi";
  {
    CompoundBuilder file(arc);
    file.Stream(EncodeInstallerName(u"!File"), "f");
    file.Stream(u"\x05SummaryInformation", "s");
  }
  EXPECT_EQ(Sorted(Paths(arc)), (std::set<std::string>{"!File", "#0005SummaryInformation"}));
  std::string mixed = dir / "mixed.doc";
  {
    CompoundBuilder file(mixed);
    file.Stream(EncodeInstallerName(u"!File"), "f");
    file.Stream(u"WordDocument", "w");
  }
  // The encoded name shows as it is (escaped where the 8-bit code page
  // cannot hold it, as on Windows).
  const std::set<std::string> mixedPaths = Sorted(Paths(mixed));
  EXPECT_EQ(mixedPaths.size(), 2u);
  EXPECT_TRUE(mixedPaths.contains("WordDocument"));
  EXPECT_FALSE(mixedPaths.contains("!File")) << "other files list as before";
}

// Deleting and the target folder of packing resolve the host's names as
// the archive lists them: an escaped '!' stands for the element stored with
// a literal one, never for the table listed beside it.
TEST_F(StoragePlugin, EveryNameReachesTheElementListedUnderIt) {
  std::string arc = dir / "bangs.msi";
  {
    CompoundBuilder file(arc);
    ASSERT_EQ(file.Storage(u"")->SetClass(kInstallerDatabase), S_OK);
    file.Stream(EncodeInstallerName(u"!T"), "table T");
    file.Stream(u"?T", "literal T");
    file.Stream(u"?Table", "literal Table");
    file.Stream(EncodeInstallerName(u"!X") + u"/" + EncodeInstallerName(u"x"), "in table X");
    file.Stream(u"?X/" + EncodeInstallerName(u"y"), "in literal X");
  }
  MakeBangLiteral(dir, "bangs.msi", {u"?T", u"?Table", u"?X"});
  ASSERT_EQ(Sorted(Paths(arc)), (std::set<std::string>{"!T", "#0021T", "#0021Table", "!X", "!X/x",
                                                       "#0021X", "#0021X/y"}));
  EXPECT_EQ(Delete(arc, {"#0021T", "#0021Table"}), 0);
  dir.Write("src/new", "new");
  EXPECT_EQ(Pack(arc, "#0021X", dir.Slash() + "src" + platform::kPathDelim, {"new"}), 0);
  EXPECT_EQ(Sorted(Paths(arc)),
            (std::set<std::string>{"!T", "!X", "!X/x", "#0021X", "#0021X/y", "#0021X/new"}));
}

// Adding under a listed name replaces the element listed under it, also
// one stored plainly in an installer database, and never a twin that
// shows under the same name with a suffix.
TEST_F(StoragePlugin, AddingUnderAListedNameReplacesThatElement) {
  std::string arc = dir / "plain.msi";
  {
    CompoundBuilder file(arc);
    ASSERT_EQ(file.Storage(u"")->SetClass(kInstallerDatabase), S_OK);
    file.Stream(u"Data", "old data");
    // As long stored either way: the one stored plainly lists first.
    file.Stream(u"a-b", "stored plain");
    file.Stream(EncodeInstallerName(u"a-b"), "stored encoded");
  }
  const std::set<std::string> listed = Sorted(Paths(arc));
  ASSERT_EQ(listed.size(), 3u);
  const std::string twin = *listed.rbegin();  // "a-b (02)"
  ASSERT_EQ(Process(arc, twin, dir / "kept"), 0);
  const std::string kept = ReadFile(dir / "kept");

  dir.Write("src/Data", "new data");
  dir.Write("src/a-b", "new a-b");
  ASSERT_EQ(Pack(arc, nullptr, dir.Slash() + "src" + platform::kPathDelim, {"Data", "a-b"}), 0);
  EXPECT_EQ(Sorted(Paths(arc)), listed);
  EXPECT_EQ(Process(arc, "Data", dir / "data"), 0);
  EXPECT_EQ(ReadFile(dir / "data"), "new data");
  ASSERT_EQ(Process(arc, "a-b", dir / "t1"), 0);
  ASSERT_EQ(Process(arc, twin, dir / "t2"), 0);
  EXPECT_EQ((std::set<std::string>{ReadFile(dir / "t1"), ReadFile(dir / "t2")}),
            (std::set<std::string>{"new a-b", kept}));
}

// Where no class marks the file, its top-level names decide how it lists:
// nothing added there changes that.
TEST_F(StoragePlugin, AddedNamesKeepHowAFileWithoutClassLists) {
  std::string arc = dir / "noclass.msi";
  {
    CompoundBuilder file(arc);
    file.Stream(EncodeInstallerName(u"!File"), "f");
    file.Stream(EncodeInstallerName(u"Alpha"), "a");
    file.Stream(u"\x05SummaryInformation", "s");
  }
  // Names that encoding leaves as they are.
  dir.Write("src/---", "dashes");
  dir.Write("src/#0001x", "control");
  const std::string src = dir.Slash() + "src" + platform::kPathDelim;
  ASSERT_EQ(Pack(arc, nullptr, src, {"---", "#0001x"}), 0);
  EXPECT_EQ(Sorted(Paths(arc)),
            (std::set<std::string>{"!File", "Alpha", "---", "#0001x", "#0005SummaryInformation"}));
  EXPECT_EQ(Delete(arc, {"Alpha"}), 0);
  EXPECT_FALSE(Sorted(Paths(arc)).contains("Alpha"));

  // A plain archive stays plain under a name that would decode ("Al").
  std::string plain = dir / "new.doc";
  dir.Write("src/#43CA", "cjk");
  ASSERT_EQ(Pack(plain, nullptr, src, {"#43CA"}), 0);
  const std::vector<std::string> paths = Paths(plain);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_NE(paths.front(), "Al");
  EXPECT_EQ(Delete(plain, {"#43CA"}), 0);
  EXPECT_TRUE(Paths(plain).empty());
}

TEST_F(StoragePlugin, UndatedElementsShowTheNearestDatedTime) {
  using namespace std::chrono;
  constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;
  const sys_seconds storageTime = sys_days{2010y / 1 / 1};
  const sys_seconds fileTime = sys_days{2001y / 2 / 3};
  std::string arc = dir / "times.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"Dated/s", "s");
    file.Stream(u"Undated/u", "u");
    file.Stream(u"top", "t");
    const FILETIME mtime = platform::UInt64ToFileTime(
        storageTime.time_since_epoch().count() * 10'000'000 + kUnixEpochTicks);
    const FILETIME none{};
    IStorage* root = file.Storage(u"");
    ASSERT_EQ(
        root->SetElementTimes(reinterpret_cast<const OLECHAR*>(u"Dated"), nullptr, nullptr, &mtime),
        S_OK);
    ASSERT_EQ(root->SetElementTimes(reinterpret_cast<const OLECHAR*>(u"Undated"), nullptr, nullptr,
                                    &none),
              S_OK);
  }
  std::filesystem::last_write_time(arc, file_clock::from_sys(fileTime));
  std::map<std::string, Entry> byPath;
  for (const Entry& e : List(arc)) byPath[e.path] = e;
  const int32_t dated = byPath["Dated"].time;
  if constexpr (platform::kAbsentTimeShown == platform::AbsentTimeShown::kNoDate) {
    EXPECT_EQ(byPath["Dated/s"].time, 0);
    EXPECT_EQ(byPath["top"].time, 0);
    return;
  } else {
    EXPECT_EQ(dated, storageTime.time_since_epoch().count());
    EXPECT_EQ(byPath["Dated/s"].time, dated);
    // The root has no time: the file's own shows.
    EXPECT_EQ(byPath["top"].time, fileTime.time_since_epoch().count());
    EXPECT_EQ(byPath["Undated"].time, fileTime.time_since_epoch().count());
    EXPECT_EQ(byPath["Undated/u"].time, fileTime.time_since_epoch().count());
    EXPECT_EQ(Process(arc, "Dated/s", dir / "s"), 0);
    EXPECT_GT(file_clock::to_sys(std::filesystem::last_write_time(dir / "s")),
              system_clock::now() - hours(1))
        << "an inherited time is only shown: the file keeps the time of writing";
  }
}

}  // namespace
}  // namespace storage_plugin
