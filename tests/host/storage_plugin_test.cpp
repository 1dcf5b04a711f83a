// The plug-in on real compound files, driven through its exports the way
// a host drives it. Files come from the system's structured storage and from
// libgsf; what the plug-in writes is read back by olefile and 7-Zip.
#include <algorithm>
#include <chrono>
#include <set>

#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

TEST_F(StoragePlugin, ListsFoldersAndStreamsWithTheirHeaders) {
  std::string arc = dir / "a.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"Book", std::string(5000, 'b'));
    file.Storage(u"Empty");
    file.Stream(u"Dir/x", "x");
  }
  std::vector<Entry> entries = List(arc);
  ASSERT_EQ(entries.size(), 4u);
  std::map<std::string, Entry> byPath;
  for (const Entry& e : entries) byPath[e.path] = e;
  EXPECT_EQ(byPath["Book"].size, 5000u);
  EXPECT_EQ(byPath["Book"].attr, int32_t{platform::kStreamAttr});
  if constexpr (platform::kAbsentTimeShown == platform::AbsentTimeShown::kNoDate)
    EXPECT_EQ(byPath["Book"].time, 0) << "streams have no time";
  else
    EXPECT_NE(byPath["Book"].time, 0) << "streams have no time: the file's shows";
  EXPECT_EQ(byPath["Empty"].attr, int32_t{platform::kFolderAttr});
  EXPECT_EQ(byPath["Dir/x"].size, 1u);
  EXPECT_EQ(entries[0].path, "Dir") << "directory order: shorter names first";
  EXPECT_EQ(plugin->CanYouHandleThisFile(arc.data()), -1);
  std::string plain = dir.Write("plain.txt", "text");
  EXPECT_EQ(plugin->CanYouHandleThisFile(plain.data()), 0);
  int32_t end = 0;
  EXPECT_TRUE(List(plain, &end).empty());
  EXPECT_EQ(end, E_UNKNOWN_FORMAT);
}

TEST_F(StoragePlugin, ExtractsInBlocksWithProgressAndCancel) {
  std::string arc = dir / "blocks.doc";
  const std::string block(61440, 'k');
  {
    CompoundBuilder file(arc);
    file.Stream(u"zero", "");
    file.Stream(u"one", block);
    file.Stream(u"more", block + "!");
    file.Stream(u"many", block + block + block + block + block + "!");
  }
  const struct {
    const char* name;
    size_t size;
    std::vector<int32_t> reports;
  } cases[] = {{"zero", 0, {}},
               {"one", 61440, {61440}},
               {"more", 61441, {61440, 1}},
               {"many", 5 * 61440 + 1, {61440, 61440, 61440, 61440, 61440, 1}}};
  for (const auto& c : cases) {
    gReports.clear();
    EXPECT_EQ(Process(arc, c.name, dir / c.name), 0) << c.name;
    EXPECT_EQ(gReports, c.reports) << c.name;
    EXPECT_EQ(ReadFile(dir / c.name).size(), c.size) << c.name;
  }
  EXPECT_EQ(ReadFile(dir / "more"), block + "!");
  EXPECT_EQ(ReadFile(dir / "many"), block + block + block + block + block + "!");

  gReportsBeforeCancel = 1;
  EXPECT_EQ(Process(arc, "more", dir / "cancelled"), E_EABORTED);
  EXPECT_FALSE(std::filesystem::exists(dir / "cancelled")) << "no incomplete file stays";
  gReportsBeforeCancel = 1 << 30;
  EXPECT_EQ(Process(arc, "more", ""), 0) << "testing reads it through";
}

TEST_F(StoragePlugin, EscapedAndCollidingNamesReachTheirOwnElements) {
  std::string arc = dir / "names.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"\x05SummaryInformation", "summary");
    file.Stream(u"k", "small k");
    file.Stream(u"\u212A", "kelvin");  // a different element that lower-cases to "k"
    file.Stream(u"50%", "percent");
  }
  // Where the code page holds the Kelvin sign (UTF-8) its name collides with
  // "k"; where it has no exact byte for it (Windows-1252) it shows escaped.
  const std::optional<std::string> kelvinBytes =
      platform::WideCharsToAnsiExact(u"\u212A", platform::CodePage::kThreadAnsi)[0].bytes;
  const std::string kelvin = kelvinBytes ? *kelvinBytes + " (02)" : "#212A";
  std::vector<std::string> paths = Paths(arc);
  std::vector<std::string> expected{"#0005SummaryInformation", "50#0025", "k", kelvin};
  std::sort(paths.begin(), paths.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paths, expected);
  EXPECT_EQ(Process(arc, "#0005SummaryInformation", dir / "s"), 0);
  EXPECT_EQ(ReadFile(dir / "s"), "summary");
  EXPECT_EQ(Process(arc, "k", dir / "k1"), 0);
  EXPECT_EQ(Process(arc, kelvin, dir / "k2"), 0);
  EXPECT_EQ(ReadFile(dir / "k1"), "small k");
  EXPECT_EQ(ReadFile(dir / "k2"), "kelvin");
}

TEST_F(StoragePlugin, ReadsWhatLibgsfWrote) {
  if (!kLinuxReaders) GTEST_SKIP() << "libgsf runs on Linux";
  std::filesystem::create_directories(dir / "src/tree/empty");
  // libgsf stores each file's modification time as its stream's.
  using namespace std::chrono;
  const sys_seconds modified = sys_days{2001y / 2 / 3} + 4h + 5min + 6s;
  std::filesystem::last_write_time(dir.Write("src/tree/sub/data.bin", std::string(100000, 'd')),
                                   file_clock::from_sys(modified));
  dir.Write("src/notes.txt", "notes");
  std::string arc = dir / "gsf.doc";
  ASSERT_EQ(std::system(("cd " + dir / "src" + " && gsf createole " + arc +
                         " notes.txt tree >/dev/null 2>&1")
                            .c_str()),
            0);
  std::vector<Entry> entries = List(arc);
  std::map<std::string, Entry> byPath;
  for (const Entry& e : entries) byPath[e.path] = e;
  EXPECT_EQ(byPath.size(), 5u);
  EXPECT_EQ(byPath["tree/sub/data.bin"].size, 100000u);
  EXPECT_EQ(byPath["tree/sub/data.bin"].time, modified.time_since_epoch().count());
  EXPECT_EQ(Process(arc, "tree/sub/data.bin", dir / "data.bin"), 0);
  EXPECT_EQ(ReadFile(dir / "data.bin"), std::string(100000, 'd'));
  EXPECT_EQ(floor<seconds>(file_clock::to_sys(std::filesystem::last_write_time(dir / "data.bin"))),
            modified)
      << "the extracted file keeps the stream's time";
}

TEST_F(StoragePlugin, PackingCreatesAFileOtherReadersAgreeOn) {
  TempDir src;
  src.Write("doc/a.txt", "alpha");
  src.Write("doc/deep/b.bin", std::string(70000, 'b'));
  src.Write("top.txt", "top");
  std::filesystem::create_directories(src / "doc/empty");
  std::string arc = dir / "new.doc";
  // A folder the host does not mark with a trailing delimiter is found on disk.
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(),
                 {"doc/", "doc/a.txt", "doc/deep", "doc/deep/b.bin", "doc/empty", "top.txt"}),
            0);
  const std::set<std::string> packed{"doc",       "doc/a.txt", "doc/deep", "doc/deep/b.bin",
                                     "doc/empty", "top.txt"};
  const std::vector<std::string> listed = Paths(arc);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), packed);
  if (auto others = PathsByOtherReaders(arc)) {
    EXPECT_EQ(*others, packed);
  }

  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"doc"}), 0) << "a folder the archive has";
  EXPECT_EQ(Paths(arc), listed);

  // Into a sub-folder named by its whole path.
  EXPECT_EQ(Pack(arc, "doc/deep", src.Slash(), {"top.txt"}), 0);
  EXPECT_EQ(Pack(arc, "deep", src.Slash(), {"top.txt"}), E_NO_FILES);
  EXPECT_EQ(Process(arc, "doc/deep/top.txt", dir / "t"), 0);
  EXPECT_EQ(ReadFile(dir / "t"), "top");
}

TEST_F(StoragePlugin, ReplacingKeepsTheOldStreamUntilTheNewOneIsComplete) {
  std::string arc = dir / "r.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"data.bin", "old content");
  }
  TempDir src;
  src.Write("data.bin", std::string(200000, 'n'));
  gReportsBeforeCancel = 1;
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"data.bin"}), E_EABORTED);
  gReportsBeforeCancel = 1 << 30;
  EXPECT_EQ(Process(arc, "data.bin", dir / "after-cancel"), 0);
  EXPECT_EQ(ReadFile(dir / "after-cancel"), "old content");
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"data.bin"})) << "no temporary element stays";

  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"data.bin"}), 0);
  EXPECT_EQ(Process(arc, "data.bin", dir / "after"), 0);
  EXPECT_EQ(ReadFile(dir / "after"), std::string(200000, 'n'));
  if (auto others = PathsByOtherReaders(arc)) {
    EXPECT_EQ(others->size(), 1u);
  }
}

TEST_F(StoragePlugin, HostNamesAreUnescapedOrRefused) {
  TempDir src;
  src.Write("#0041.txt", "A");
  src.Write("Track #1", "track");
  std::string arc = dir / "esc.doc";
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"#0041.txt"}), 0);
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"Track #1"}), 0) << "a '#' that starts no escape";
  if (platform::kPathDelim == '/') {  // Windows file names cannot hold ':'
    src.Write("x:y", "colon");
    EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"x:y"}), E_EWRITE) << "':' is not allowed in names";
  }
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"A.txt", "Track #00231"}));
}

// A host name can reach an existing element without being its display
// name; creating a folder through it must not replace what is there.
TEST_F(StoragePlugin, CreatingAFolderNeverReplacesAnElement) {
  std::string arc = dir / "f.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"A/kept", "kept");
    file.Stream(u"s", "stream");
  }
  TempDir src;
  src.Write("#0041/x", "x");
  src.Write("#0073/y", "y");
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"#0073/y"}), E_EWRITE) << "a stream of that name";
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"#0041/x"}), 0) << "found under another name";
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"A", "A/x", "A/kept", "s"}));
  EXPECT_EQ(Process(arc, "s", dir / "s"), 0);
  EXPECT_EQ(ReadFile(dir / "s"), "stream");
}

TEST_F(StoragePlugin, MovingDeletesOnlyWhatWasStored) {
  TempDir src;
  src.Write("one", "1");
  src.Write("bad#0000", "2");  // "#0000" would end the element name: refused
  src.Write("three", "3");
  std::string arc = dir / "m.doc";
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"one", "bad#0000", "three"}, PK_PACK_MOVE_FILES),
            E_EWRITE);
  EXPECT_FALSE(std::filesystem::exists(arc)) << "a failed call leaves no new file";
  EXPECT_TRUE(std::filesystem::exists(src / "one")) << "so nothing was moved";

  { CompoundBuilder existing(arc); }
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"one", "bad#0000", "three"}, PK_PACK_MOVE_FILES),
            E_EWRITE);
  EXPECT_FALSE(std::filesystem::exists(src / "one"));
  EXPECT_TRUE(std::filesystem::exists(src / "bad#0000"));
  EXPECT_TRUE(std::filesystem::exists(src / "three")) << "not attempted";
  EXPECT_EQ(Paths(arc), std::vector<std::string>{"one"});
}

// A name listed twice is stored once; where case tells names apart, the
// second spelling is another file, which must stay where it is.
TEST_F(StoragePlugin, MovingANameListedTwiceMovesOnlyWhatWasStored) {
  TempDir src;
  src.Write("dir/a.txt", "first");
  src.Write("dir/sub/b.txt", "b");
  if (!platform::kWindowsFileNames) src.Write("dir/A.TXT", "second");
  std::string arc = dir / "twice.doc";
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(),
                 {"dir/", "dir/a.txt", "dir/A.TXT", "dir/sub/", "dir/sub/b.txt"}, PK_PACK_MOVE_FILES),
            0);
  const std::set<std::string> packed{"dir", "dir/a.txt", "dir/sub", "dir/sub/b.txt"};
  const std::vector<std::string> listed = Paths(arc);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), packed);
  if (auto others = PathsByOtherReaders(arc)) {
    EXPECT_EQ(*others, packed);
  }
  EXPECT_EQ(Process(arc, "dir/a.txt", dir / "a"), 0);
  EXPECT_EQ(ReadFile(dir / "a"), "first");
  EXPECT_FALSE(std::filesystem::exists(src / "dir/a.txt"));
  EXPECT_FALSE(std::filesystem::exists(src / "dir/sub/b.txt"));
  EXPECT_TRUE(std::filesystem::exists(src / "dir/sub")) << "folders are the host's to remove";
  if (!platform::kWindowsFileNames) {
    EXPECT_EQ(ReadFile(src / "dir/A.TXT"), "second");
  }
}

// The host lists first and packs later: by the time a file is stored it may
// be gone or have grown. What each path is was decided from one look; the
// content is what the open file holds.
std::filesystem::path gChangingFolder;
int32_t WCX_API ChangeSourcesOnce(char*, int32_t) {
  if (!gChangingFolder.empty()) {
    std::filesystem::remove(gChangingFolder / "gone");
    std::FILE* grows = std::fopen((gChangingFolder / "grows").string().c_str(), "ab");
    std::fputs(" and more", grows);
    std::fclose(grows);
    gChangingFolder.clear();
  }
  return 1;
}

TEST_F(StoragePlugin, SourcesChangedAfterListingAreStoredAsTheyAreOrRefused) {
  TempDir src;
  src.Write("a/x.txt", "x");
  src.Write("grows", "grows");
  src.Write("gone", "gone");
  src.Write("later", "later");
  src.Write("file", "f");
  std::filesystem::create_directories(src / "empty");
  std::string arc = dir / "c.doc";
  { CompoundBuilder existing(arc); }
  gChangingFolder = std::filesystem::path(src.Slash());
  plugin->SetProcessDataProc(kGlobalHandle, ChangeSourcesOnce);
  std::string list = HostNames({"a/x.txt", "empty", "grows", "gone", "later"});
  std::string srcPath = src.Slash();
  EXPECT_EQ(plugin->PackFiles(const_cast<char*>(arc.c_str()), nullptr, srcPath.data(), list.data(), 0),
            E_EREAD);
  const std::set<std::string> packed{"a", "a/x.txt", "empty", "grows"};
  std::vector<std::string> listed = Paths(arc);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), packed) << "what came before stays";
  if (auto others = PathsByOtherReaders(arc)) {
    EXPECT_EQ(*others, packed);
  }
  EXPECT_EQ(Process(arc, "grows", dir / "g"), 0);
  EXPECT_EQ(ReadFile(dir / "g"), "grows and more");

  // A path that runs through a file on disk fails, and leaves no folder.
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"file/x"}), E_EREAD);
  listed = Paths(arc);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), packed);
}

TEST_F(StoragePlugin, DeletingStreamsAndWholeStorages) {
  std::string arc = dir / "d.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"docs/a.txt", "a");
    file.Stream(u"docs/sub/b.txt", "b");
    file.Stream(u"readme.txt", "r");
    file.Stream(u"keep", "k");
  }
  EXPECT_EQ(Delete(arc, {"docs/*.*", "docs/a.txt", "DOCS/sub/b.txt", "readme.txt"}), 0);
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"keep"}));
  EXPECT_EQ(Delete(arc, {"nothing"}), 0);
  if (auto others = PathsByOtherReaders(arc)) {
    EXPECT_EQ(others->size(), 1u);
  }
  EXPECT_EQ(Delete(dir / "missing.doc", {"x"}), E_EREAD);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.doc"));
}

// A stream's node keeps its size alone; a stream with its own time, or a
// name that does not convert back, has its whole record kept beside it.
// Each must still show and reach its own, also once a sibling is gone.
TEST_F(StoragePlugin, StreamsWithTheirOwnTimeOrNameKeepThemBesidePlainOnes) {
  using namespace std::chrono;
  constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;
  const sys_seconds streamTime = sys_days{2012y / 5 / 6};
  std::string arc = dir / "records.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"plain", "pp");
    file.Stream(u"dated", "ddd");
    file.Stream(u"a#b", "hash");
    file.Stream(u"last", "l");
    const FILETIME mtime = platform::UInt64ToFileTime(
        streamTime.time_since_epoch().count() * 10'000'000 + kUnixEpochTicks);
    ASSERT_EQ(file.Storage(u"")->SetElementTimes(reinterpret_cast<const OLECHAR*>(u"dated"),
                                                 nullptr, nullptr, &mtime),
              S_OK);
  }
  const auto expectRecords = [&](const char* when) {
    std::map<std::string, Entry> byPath;
    for (const Entry& e : List(arc)) byPath[e.path] = e;
    EXPECT_EQ(byPath["dated"].size, 3u) << when;
#ifndef _WIN32  // the system's compound files keep no time for a stream
    EXPECT_EQ(byPath["dated"].time, streamTime.time_since_epoch().count()) << when;
#endif
    EXPECT_EQ(byPath["a#0023b"].size, 4u) << when;
    EXPECT_EQ(byPath["last"].size, 1u) << when;
    EXPECT_EQ(Process(arc, "a#0023b", dir / "hash"), 0) << when;
    EXPECT_EQ(ReadFile(dir / "hash"), "hash") << when;
    EXPECT_EQ(Process(arc, "dated", dir / "dated"), 0) << when;
    EXPECT_EQ(ReadFile(dir / "dated"), "ddd") << when;
  };
  expectRecords("as written");
  EXPECT_EQ(Delete(arc, {"plain"}), 0);
  expectRecords("after deleting a sibling");
  EXPECT_EQ(Delete(arc, {"a#0023b", "dated"}), 0);
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"last"}));
}

TEST_F(StoragePlugin, AnOpenListingKeepsWritersOut) {
  std::string arc = dir / "s.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"a", "a");
    file.Stream(u"b", "b");
  }
  HANDLE first = plugin->Open(arc, PK_OM_LIST);
  tHeaderDataEx header;
  ASSERT_EQ(plugin->ReadHeaderEx(first, &header), 0);
  EXPECT_EQ(Paths(arc).size(), 2u) << "a second listing coexists";
  TempDir src;
  src.Write("c", "c");
  // A writer waits for its turn until the user cancels at its first report.
  gReportsBeforeCancel = 0;
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"c"}), E_EABORTED);
  EXPECT_EQ(Delete(arc, {"a"}), E_EABORTED) << "in use, not unreadable";
  plugin->CloseArchive(first);
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Delete(arc, {"a"}), 0);
}

}  // namespace
}  // namespace storage_plugin
