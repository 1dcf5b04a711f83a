// What real hosts and users do that a well-behaved test host never did: a
// disk that fills up, a host that ends without unloading, a host that joins
// listed names onto its destination, names only other writers produce,
// folders named like "100%", and a second program on the same file.
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "cfb/compound_file.h"
#include "child_process.h"
#include "raw_file.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;

// Runs call in a child process whose files cannot grow past limit bytes, as
// on a full disk, and returns its result.
int32_t WithFileSizeLimit(uint64_t limit, const std::function<int32_t()>& call) {
  return testing_support::RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    return call();
  });
}

// A compound file written by the engine whose elements are then renamed as
// other writers name them, bypassing the format's rules.
class ForeignFile {
 public:
  explicit ForeignFile(const std::string& path)
      : path_(path), file_(cfb::CompoundFile::Create(path, false)) {}
  uint32_t Storage(uint32_t parent, const std::u16string& name, const std::u16string& as) {
    return Rename(file_->CreateElement(parent, name, cfb::EntryType::kStorage), as);
  }
  uint32_t Stream(uint32_t parent, const std::u16string& name, const std::u16string& as,
                  const std::string& content) {
    const uint32_t id = file_->CreateElement(parent, name, cfb::EntryType::kStream);
    file_->Write(id, 0, content.data(), content.size());
    return Rename(id, as);
  }
  void Save() {
    file_->Commit();
    file_.reset();
    cfb::testing::RawFile raw(path_);
    for (const auto& [id, name] : renames_) raw.SetName(id, name);
    raw.Save();
  }

 private:
  uint32_t Rename(uint32_t id, const std::u16string& as) {
    renames_.emplace_back(id, as);
    return id;
  }
  std::string path_;
  std::unique_ptr<cfb::CompoundFile> file_;
  std::vector<std::pair<uint32_t, std::u16string>> renames_;
};

using HostSafety = StoragePlugin;

TEST_F(HostSafety, AFullDiskLosesNothingAndReportsAWriteError) {
  std::string arc = dir / "a.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"keep", "kept");
    for (char c = 'a'; c <= 'f'; ++c) file.Stream(std::u16string(1, c), std::string(5000, c));
  }
  const uint64_t size = fs::file_size(arc);
  TempDir src;
  src.Write("big.bin", std::string(1 << 20, 'b'));

  EXPECT_EQ(WithFileSizeLimit(
                size + 8192,
                [&] { return Pack(arc, nullptr, src.Slash(), {"big.bin"}, PK_PACK_MOVE_FILES); }),
            E_EWRITE);
  EXPECT_TRUE(fs::exists(src / "big.bin")) << "a moved file stays until the archive holds it";
  EXPECT_EQ(fs::file_size(arc), size);
  EXPECT_EQ(Paths(arc).size(), 7u);
  EXPECT_EQ(Olefile(arc).size(), 7u);

  EXPECT_EQ(WithFileSizeLimit(size, [&] { return Delete(arc, {"keep", "a"}); }), E_EWRITE);
  EXPECT_EQ(Paths(arc).size(), 7u) << "the deletion did not reach the file";
  EXPECT_EQ(Process(arc, "keep", dir / "keep"), 0);
  EXPECT_EQ(ReadFile(dir / "keep"), "kept");

  // A failed call leaves no new file behind.
  std::string fresh = dir / "fresh.doc";
  EXPECT_EQ(
      WithFileSizeLimit(64 << 10, [&] { return Pack(fresh, nullptr, src.Slash(), {"big.bin"}); }),
      E_EWRITE);
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(Pack(fresh, "sub", src.Slash(), {"big.bin"}), E_NO_FILES);
  EXPECT_FALSE(fs::exists(fresh));
}

int SectorShiftOf(const std::string& path) {
  return static_cast<unsigned char>(ReadFile(path).substr(0x1E, 1)[0]);
}

// Past 2 GB a file needs 4096-byte sectors: a new archive gets them when
// its content needs them, an existing one with 512-byte sectors is
// converted through a copy that takes its place, or, where no copy can
// (another name links to it), refuses before anything changes. Sparse
// sources keep this cheap: a cancel after the first block ends each call.
TEST_F(HostSafety, ContentPastTwoGigabytesNeverDamagesAnArchive) {
  TempDir src;
  const std::string huge = src / "huge.bin";
  { std::ofstream(huge) << ""; }
  fs::resize_file(huge, (2100ull << 20));
  std::string arc = dir / "small.doc";
  std::string linked = dir / "linked.doc";
  for (const std::string& path : {arc, linked}) {
    CompoundBuilder file(path);
    file.Stream(u"WordDocument", "text");
  }
  fs::create_hard_link(linked, dir / "other-name.doc");
  const std::string before = ReadFile(linked);
  src.Write("small.txt", "small");
  EXPECT_EQ(Pack(linked, nullptr, src.Slash(), {"small.txt", "huge.bin"}, PK_PACK_MOVE_FILES), E_EWRITE);
  EXPECT_EQ(ReadFile(linked), before) << "refused before anything changed";
  EXPECT_TRUE(fs::exists(src / "small.txt"));

  gReportsBeforeCancel = 0;
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"huge.bin"}, PK_PACK_MOVE_FILES), E_EABORTED);
  gReportsBeforeCancel = 1 << 30;
  EXPECT_EQ(SectorShiftOf(arc), 12) << "converted";
  EXPECT_EQ(Paths(arc), std::vector<std::string>{"WordDocument"});
  EXPECT_EQ(Process(arc, "WordDocument", dir / "w"), 0);
  EXPECT_EQ(ReadFile(dir / "w"), "text");
  EXPECT_TRUE(fs::exists(huge));

  // A new archive: its header, read while the content is copied, has
  // 4096-byte sectors; the cancel then leaves no file.
  static std::string gArchive;
  static int gSectorShift;
  gArchive = dir / "big.doc";
  gSectorShift = 0;
  plugin->SetProcessDataProc(kGlobalHandle, [](char*, int32_t) -> int32_t {
    gSectorShift = SectorShiftOf(gArchive);
    return 0;
  });
  std::string list = HostList({"huge.bin"});
  EXPECT_EQ(plugin->PackFiles(gArchive.data(), nullptr, const_cast<char*>(src.Slash().c_str()),
                              list.data(), 0),
            E_EABORTED);
  EXPECT_EQ(gSectorShift, 12);
  EXPECT_FALSE(fs::exists(gArchive));
}

// Packing looks at no source before it adds: only when the next one would
// carry a file with 512-byte sectors past their reach is the call undone and
// made again with every source measured, so that small sources before a
// huge one, or an unmarked folder among them, end as if known from the start.
TEST_F(HostSafety, SourcesFoundPastTwoGigabytesOnTheWayAreAddedAsIfKnownUpFront) {
  TempDir src;
  src.Write("a.txt", "first");
  src.Write("folder/inner.txt", "inner");
  const std::string huge = src / "huge.bin";
  { std::ofstream(huge) << ""; }
  fs::resize_file(huge, (2100ull << 20));
  static std::string gArchive;
  static std::vector<int> gShiftsSeen;
  // Cancels at the huge file's first block, noting the sector size then.
  plugin->SetProcessDataProc(kGlobalHandle, [](char* name, int32_t) -> int32_t {
    if (std::string(name).find("huge.bin") == std::string::npos) return 1;
    gShiftsSeen.push_back(SectorShiftOf(gArchive));
    return 0;
  });
  std::string list = HostList({"a.txt", "folder", "folder/inner.txt", "huge.bin"});
  const auto pack = [&](std::string arc, int32_t flags) {
    gArchive = arc;
    gShiftsSeen.clear();
    return plugin->PackFiles(arc.data(), nullptr, const_cast<char*>(src.Slash().c_str()),
                             list.data(), flags);
  };

  EXPECT_EQ(pack(dir / "new.doc", 0), E_EABORTED);
  EXPECT_EQ(gShiftsSeen, std::vector<int>{12});
  EXPECT_FALSE(fs::exists(dir / "new.doc")) << "a cancelled new archive leaves nothing";

  const std::string arc = dir / "old.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"WordDocument", "text");
  }
  EXPECT_EQ(pack(arc, PK_PACK_MOVE_FILES), E_EABORTED);
  EXPECT_EQ(gShiftsSeen, std::vector<int>{12});
  EXPECT_EQ(SectorShiftOf(arc), 12) << "converted";
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"a.txt", "folder", "folder/inner.txt", "WordDocument"}));
  EXPECT_EQ(Process(arc, "a.txt", dir / "a"), 0);
  EXPECT_EQ(ReadFile(dir / "a"), "first");
  EXPECT_EQ(Olefile(arc).size(), 4u);
  EXPECT_FALSE(fs::exists(src / "a.txt")) << "moved once in the archive for good";
  EXPECT_TRUE(fs::exists(huge));
}

// An edit that leaves most of the file free gives the room back: a copy
// written afresh takes the file's place with its mode, or, for a file with
// other names, the content moves down inside it.
TEST_F(HostSafety, AnArchiveLeftMostlyFreeIsCompacted) {
  std::string arc = dir / "c.doc";
  std::string linked = dir / "l.doc";
  for (const std::string& path : {arc, linked}) {
    CompoundBuilder file(path);
    file.Stream(u"big", std::string(3 << 20, 'b'));
    file.Stream(u"keep/small", "small");
    file.Stream(u"keep/medium", std::string(100000, 'm'));
  }
  fs::permissions(arc, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_hard_link(linked, dir / "l-other.doc");
  const auto inode = [](const std::string& path) {
    struct stat st;
    stat(path.c_str(), &st);
    return st.st_ino;
  };
  const auto linkedInode = inode(linked);
  for (const std::string& path : {arc, linked}) {
    EXPECT_EQ(Delete(path, {"big"}), 0);
    EXPECT_LT(fs::file_size(path), 200000u) << path;
    EXPECT_EQ(Paths(path), (std::vector<std::string>{"keep", "keep/small", "keep/medium"}));
    EXPECT_EQ(Process(path, "keep/medium", dir / "m"), 0);
    EXPECT_EQ(ReadFile(dir / "m"), std::string(100000, 'm'));
    EXPECT_EQ(Olefile(path).size(), 3u);
  }
  EXPECT_EQ(fs::status(arc).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(inode(linked), linkedInode) << "compacted in place";
  EXPECT_EQ(fs::hard_link_count(linked), 2u);
  // Written afresh: the directory first.
  EXPECT_EQ(cfb::LoadU32(reinterpret_cast<const uint8_t*>(ReadFile(arc).data()) + 0x30), 0u);
}

// No listed path is absolute or has an empty, "." or ".." component, so a
// host that joins them onto its destination stays inside it; the escaped
// names still reach their elements.
TEST_F(HostSafety, NamesNeverClimbOutOfTheDestination) {
  std::string arc = dir / "dots.doc";
  {
    ForeignFile file(arc);
    const uint32_t up = file.Storage(cfb::kRootId, u"d1", u"..");
    file.Stream(up, u"evil", u"evil", "evil");
    file.Stream(file.Storage(up, u"d2", u".."), u"x", u"x", "deep");
    file.Stream(file.Storage(cfb::kRootId, u"d", u"."), u"y", u"y", "dot");
    file.Stream(cfb::kRootId, u"e", u"", "nameless");
    file.Save();
  }
  std::vector<std::string> paths = Paths(arc);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths,
            (std::vector<std::string>{"#", "#002E", "#002E#002E", "#002E#002E/#002E#002E",
                                      "#002E#002E/#002E#002E/x", "#002E#002E/evil", "#002E/y"}));
  const fs::path out = dir / "out";
  for (const std::string& path : paths) {
    const fs::path joined = (out / path).lexically_normal();
    EXPECT_EQ(joined.string().rfind(out.string() + "/", 0), 0u) << path;
  }
  fs::create_directories(out / "#002E#002E/#002E#002E");
  EXPECT_EQ(Process(arc, "#002E#002E/#002E#002E/x", out / "#002E#002E/#002E#002E/x"), 0);
  EXPECT_EQ(ReadFile(out / "#002E#002E/#002E#002E/x"), "deep");
  EXPECT_EQ(Process(arc, "#", out / "nameless"), 0);
  EXPECT_EQ(ReadFile(out / "nameless"), "nameless");
  EXPECT_EQ(Delete(arc, {"#002E#002E/evil", "#"}), 0);
  EXPECT_EQ(Paths(arc).size(), 5u);
}

// Siblings whose names differ only in case (found in the wild, listed by
// 7-Zip and olefile) are each listed, extracted with their own bytes, kept
// by edits of their storage, and deleted one at a time.
TEST_F(HostSafety, SiblingsDifferingOnlyInCaseStayApart) {
  std::string arc = dir / "case.doc";
  {
    ForeignFile file(arc);
    file.Stream(cfb::kRootId, u"Readme", u"Readme", "first");
    file.Stream(cfb::kRootId, u"READMX", u"README", "second");
    file.Stream(cfb::kRootId, u"readmy", u"readme", "third");
    file.Stream(file.Storage(cfb::kRootId, u"Dir", u"Dir"), u"a", u"a", "in Dir");
    file.Stream(file.Storage(cfb::kRootId, u"DIQ", u"DIR"), u"b", u"b", "in DIR");
    file.Save();
  }
  // Listed in the directory's order: the upper-case name first.
  std::vector<std::string> paths = Paths(arc);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"DIR", "DIR/b", "Dir (02)", "Dir (02)/a", "README",
                                             "Readme (02)", "readme (03)"}));
  const std::pair<const char*, const char*> contents[] = {{"README", "second"},
                                                          {"Readme (02)", "first"},
                                                          {"readme (03)", "third"},
                                                          {"DIR/b", "in DIR"},
                                                          {"Dir (02)/a", "in Dir"}};
  for (const auto& [path, content] : contents) {
    EXPECT_EQ(Process(arc, path, dir / "x"), 0) << path;
    EXPECT_EQ(ReadFile(dir / "x"), content) << path;
  }
  TempDir src;
  src.Write("new.txt", "new");
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"new.txt"}), 0);
  EXPECT_EQ(Delete(arc, {"Readme (02)"}), 0);
  paths = Paths(arc);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"DIR", "DIR/b", "Dir (02)", "Dir (02)/a", "README",
                                             "new.txt", "readme (02)"}));
  EXPECT_EQ(Process(arc, "readme (02)", dir / "x"), 0);
  EXPECT_EQ(ReadFile(dir / "x"), "third");
  // Not Olefile(): strict readers refuse the twins the file was made with.
  EXPECT_EQ(cfb::testing::ListWithOlefile(arc).size(), 7u) << "nothing hidden was dropped";
}

// A large flat storage with twins among its names (case, beyond ASCII too,
// and a name that looks like a suffix): each element is listed once, under
// a name that reaches it when extracting, replacing and deleting.
TEST_F(HostSafety, AFlatStorageOfTwinsReachesEachElementByItsListedName) {
  std::string arc = dir / "flat.doc";
  const std::pair<std::u16string, std::string> twins[] = {
      {u"Readme", "Readme"},     {u"README", "README"}, {u"\u00C4pfel", "A-pfel"},
      {u"\u00E4PFEL", "a-PFEL"},  {u"x (02)", "x (02)"}, {u"X", "X"},
      {u"x", "x"},               {u"\x05Info", "Info"}, {u"\x05INFO", "INFO"}};
  {
    ForeignFile file(arc);
    for (int i = 0; i < 2000; ++i) {
      const std::string name = "s" + std::to_string(i);
      const std::u16string element(name.begin(), name.end());
      file.Stream(cfb::kRootId, element, element, name);
    }
    int made = 0;
    for (const auto& [name, content] : twins)
      file.Stream(cfb::kRootId, u"t" + std::u16string(1, u'a' + made++), name, content);
    file.Save();
  }
  const auto contentOf = [&](const std::string& path) {
    EXPECT_EQ(Process(arc, path, dir / "x"), 0) << path;
    return ReadFile(dir / "x");
  };
  std::vector<std::string> paths = Paths(arc);
  ASSERT_EQ(paths.size(), 2009u);
  EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()).size(), paths.size());
  const std::pair<const char*, const char*> listed[] = {
      {"README", "README"},       {"Readme (02)", "Readme"}, {"\xC3\x84pfel", "A-pfel"},
      {"\xC3\xA4PFEL (02)", "a-PFEL"}, {"X", "X"},              {"x (02)", "x"},
      {"x (02) (02)", "x (02)"},   {"#0005INFO", "INFO"},     {"#0005Info (02)", "Info"},
      {"s1999", "s1999"}};
  for (const auto& [path, content] : listed) EXPECT_EQ(contentOf(path), content) << path;

  // Adding under a listed name replaces the element listed there. A twin
  // in case cannot be stored again under its own name, which the format
  // takes for its sibling's: that add fails and changes nothing.
  TempDir src;
  src.Write("Readme (02)", "new");
  src.Write("x (02) (02)", "newer");
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"x (02) (02)"}), 0);
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"Readme (02)"}), E_EWRITE);
  EXPECT_EQ(Paths(arc).size(), 2009u);
  EXPECT_EQ(contentOf("Readme (02)"), "Readme");
  EXPECT_EQ(contentOf("README"), "README");
  EXPECT_EQ(contentOf("x (02) (02)"), "newer");
  EXPECT_EQ(contentOf("x (02)"), "x");

  EXPECT_EQ(Delete(arc, {"x (02)", "#0005INFO", "s1000"}), 0);
  paths = Paths(arc);
  EXPECT_EQ(paths.size(), 2006u);
  // The names that were taken by the deleted ones are free again.
  EXPECT_EQ(contentOf("x (02)"), "newer");
  EXPECT_EQ(contentOf("#0005Info"), "Info");
  EXPECT_EQ(Process(arc, "s1000", dir / "x"), -1);
  EXPECT_EQ(contentOf("s1001"), "s1001");
}

// Folders whose names need escaping are added under their escaped names;
// progress names the entries as the listing does; a failed add leaves
// nothing new.
TEST_F(HostSafety, FoldersWithOddNamesAreAddedWhole) {
  TempDir src;
  src.Write("100%/50%.txt", "half");
  src.Write("a*b?/<c>", "odd");
  fs::create_directories(src / "new/deeper");
  fs::create_symlink(src / "nowhere", src / "new/deeper/dangling");
  std::string arc = dir / "odd.doc";
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"100%/", "100%/50%.txt", "a*b?/", "a*b?/<c>"}), 0);
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"100#0025", "100#0025/50#0025.txt",
                                                  "a#002Ab#003F", "a#002Ab#003F/#003Cc#003E"}));
  EXPECT_EQ(gReportNames.front(), "100#0025/50#0025.txt");
  EXPECT_EQ(Process(arc, "100#0025/50#0025.txt", dir / "half"), 0);
  EXPECT_EQ(ReadFile(dir / "half"), "half");

  EXPECT_NE(Pack(arc, nullptr, src.Slash(), {"new/deeper/dangling"}), 0);
  EXPECT_EQ(Paths(arc).size(), 4u) << "no empty folder stays behind";
}

// A storage that cannot be opened lists as an empty folder, but testing
// and extracting report it instead of a silent success.
TEST_F(HostSafety, AnUnreadableStorageIsReported) {
  std::string arc = dir / "damaged.doc";
  {
    ForeignFile file(arc);
    file.Stream(file.Storage(cfb::kRootId, u"twin1", u"twin"), u"a", u"a", "a");
    file.Stream(file.Storage(cfb::kRootId, u"twin2", u"twin"), u"b", u"b", "b");
    file.Stream(cfb::kRootId, u"fine", u"fine", "fine");
    file.Save();
  }
  int32_t end = 0;
  std::vector<Entry> entries = List(arc, &end);
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_EQ(end, E_END_ARCHIVE) << "the listing shows what can be read";
  EXPECT_EQ(Process(arc, "twin", ""), E_BAD_DATA);
  EXPECT_EQ(Process(arc, "twin (02)", dir / "t"), E_BAD_DATA);
  EXPECT_EQ(Process(arc, "fine", ""), 0);

  // A host that extracts only skips folders: the skip reports it.
  HANDLE handle = plugin->Open(arc, PK_OM_EXTRACT);
  tHeaderDataEx header;
  ASSERT_EQ(plugin->ReadHeaderEx(handle, &header), 0);
  EXPECT_EQ(plugin->ProcessFile(handle, PK_SKIP, nullptr, nullptr),
            std::string(header.FileName) == "fine" ? 0 : E_BAD_DATA);
  plugin->CloseArchive(handle);
}

// Another program writing the archive: it cannot be opened, and says so.
TEST_F(HostSafety, AnArchiveInUseCannotBeOpened) {
  std::string arc = dir / "busy.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"a", "a");
  }
  std::u16string name(arc.begin(), arc.end());
  platform::ComPtr<IStorage> writer;
  ASSERT_EQ(StgOpenStorage(reinterpret_cast<const OLECHAR*>(name.c_str()), nullptr,
                           STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, writer.Receive()),
            S_OK);
  int32_t end = 0;
  EXPECT_TRUE(List(arc, &end).empty());
  EXPECT_EQ(end, E_EOPEN);
}

// A process that never unloads the plug-in ends normally; the leak report
// still appears when it left an archive open.
TEST(ProcessExit, WithoutUnloadingEndsNormally) {
  TempDir dir;
  {
    CompoundBuilder file(dir / "open.doc");
    file.Stream(u"a", "a");
  }
  auto run = [&](const std::string& args) {
    const std::string command =
        "ASAN_OPTIONS=detect_leaks=0 " EXIT_HOST " " QOR_PLUGIN " " + args + " 2>" + dir / "stderr";
    return std::system(command.c_str());
  };
  EXPECT_EQ(run(""), 0);
  EXPECT_EQ(ReadFile(dir / "stderr"), "");
  EXPECT_EQ(run(dir / "open.doc"), 0);
  EXPECT_NE(ReadFile(dir / "stderr").find("Memory outflow"), std::string::npos);
}

#if defined(__SANITIZE_ADDRESS__)
// The leak check must survive the callbacks' per-thread block wherever the
// allocator puts it: GCC 12's runtime misjudged the block's size at one
// place in 64 and died in the check, failing whichever test it happened in.
// Each child moves the block one chunk on.
TEST(ProcessExit, TheLeakCheckSurvivesWhereverTheCallbacksLand) {
  for (int shift = 0; shift < 64; ++shift) {
    EXPECT_EQ(testing_support::RunInChild([&] {
                std::vector<std::unique_ptr<char[]>> before(shift);
                for (auto& chunk : before) chunk = std::make_unique<char[]>(40);
                testing_support::Plugin plugin(QOR_PLUGIN);
                plugin.SetProcessDataProc(kGlobalHandle, RecordProgress);
                __lsan_do_recoverable_leak_check();
                return 0;
              }),
              0)
        << "moved by " << shift;
  }
}
#endif

}  // namespace
}  // namespace storage_plugin
