// Extraction, listing and packing as the user sees their outcome: a file
// the host was told to overwrite survives every failure, each bad target
// gets a code of its own, a damaged directory never passes for a whole one,
// and times past January 2038 arrive whole.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.h"
#endif

#include "raw_file.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;
// 2040-07-01 12:00:00 UTC, and a fraction of a second that no header holds.
constexpr uint32_t kLateSeconds = 2'224'756'800;
constexpr uint64_t kLateTicks = kUnixEpochTicks + uint64_t{kLateSeconds} * 10'000'000 + 1'234'567;

const std::string kOld = "the user's own file";

#ifdef _WIN32
const bool kWritesAnyFile = false;
#else
const bool kWritesAnyFile = geteuid() == 0;
#endif

std::set<std::string> NamesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(testing_support::Utf8String(entry.path().filename()));
  return names;
}

// The directory entry of the element with this name (the first sector of
// entries holds every element of these small files).
uint8_t* EntryNamed(cfb::testing::RawFile& raw, std::u16string_view name, uint32_t& id) {
  for (id = 1;; ++id) {
    uint8_t* entry = raw.Entry(id);
    std::u16string stored;
    for (size_t i = 0; i < 32 && cfb::LoadU16(entry + 2 * i) != 0; ++i)
      stored += static_cast<char16_t>(cfb::LoadU16(entry + 2 * i));
    if (stored == name) return entry;
  }
}

// "big" spans several sectors and its chain breaks after the first; "fine"
// is whole; "late" carries a time past 2038 (streams have none unless a
// writer gives them one).
std::string DamagedArchive(const TempDir& dir) {
  const std::string arc = dir / "damaged.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"big", std::string(3 * 61440, 'b'));
    file.Stream(u"fine", "new content");
    file.Stream(u"late", "late content");
  }
  cfb::testing::RawFile raw(arc);
  uint32_t id = 0;
  EntryNamed(raw, u"big", id);
  raw.SetFat(raw.StartOf(id), cfb::kEndOfChain);
  cfb::StoreU64(EntryNamed(raw, u"late", id) + 0x6C, kLateTicks);
  raw.Save();
  return arc;
}

using Extraction = StoragePlugin;

TEST_F(Extraction, AFailedOrCancelledExtractionKeepsTheFileItWasToReplace) {
  const std::string arc = DamagedArchive(dir);
  const std::string target = dir.Write("out/big", kOld);
  EXPECT_NE(Process(arc, "big", target), 0);
  EXPECT_EQ(ReadFile(target), kOld);

  gReportsBeforeCancel = 0;
  const std::string cancelled = dir.Write("out/fine", kOld);
  EXPECT_EQ(Process(arc, "fine", cancelled), E_EABORTED);
  EXPECT_EQ(ReadFile(cancelled), kOld);
  EXPECT_EQ(NamesIn(dir.path() / "out"), (std::set<std::string>{"big", "fine"}))
      << "no temporary file stays behind";

  gReportsBeforeCancel = 1 << 30;
  EXPECT_EQ(Process(arc, "fine", cancelled), 0);
  EXPECT_EQ(ReadFile(cancelled), "new content");
  EXPECT_EQ(NamesIn(dir.path() / "out"), (std::set<std::string>{"big", "fine"}));
}

TEST_F(Extraction, EachBadTargetHasItsOwnCode) {
  const std::string arc = DamagedArchive(dir);
  EXPECT_EQ(Process(arc, "fine", dir / "missing/fine"), E_ECREATE);
  fs::create_directory(dir.path() / "folder");
  EXPECT_EQ(Process(arc, "fine", dir / "folder"), E_ECREATE);
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));

  const std::string readOnly = dir.Write("read-only", kOld);
  fs::permissions(testing_support::Utf8Path(readOnly),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  if (!kWritesAnyFile) {
    EXPECT_EQ(Process(arc, "fine", readOnly), E_ECREATE);
    EXPECT_EQ(ReadFile(readOnly), kOld);
  }
  fs::permissions(testing_support::Utf8Path(readOnly), fs::perms::owner_write,
                  fs::perm_options::add);
}

#ifndef _WIN32
// Writing through a symbolic link reaches its target, as it did when the
// file was written in place: the link stays a link.
TEST_F(Extraction, ALinkStaysALinkToTheNewContent) {
  const std::string arc = DamagedArchive(dir);
  const std::string real = dir.Write("real", kOld);
  fs::create_symlink("real", dir.path() / "link");
  EXPECT_EQ(Process(arc, "fine", dir / "link"), 0);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_EQ(ReadFile(real), "new content");
  EXPECT_EQ(NamesIn(dir.path()), (std::set<std::string>{"damaged.doc", "link", "real"}));
}
#endif

TEST_F(Extraction, TimesPast2038ListAndExtractExactly) {
  const std::string arc = DamagedArchive(dir);
  std::optional<Entry> late;
  for (const Entry& e : List(arc))
    if (e.path == "late") late = e;
  ASSERT_TRUE(late);
#ifdef _WIN32
  if (late->time == 0) GTEST_SKIP() << "this system's storage gives streams no time";
  EXPECT_EQ((static_cast<uint32_t>(late->time) >> 25) + 1980, 2040u) << "packed DOS date";
#else
  EXPECT_EQ(static_cast<uint32_t>(late->time), kLateSeconds) << "unsigned Unix seconds";
#endif

  const std::string target = dir / "late";
  ASSERT_EQ(Process(arc, "late", target), 0);
#ifdef _WIN32
  HANDLE file = CreateFileW(testing_support::Utf8Path(target).c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME created{};
  GetFileTime(file, &created, nullptr, nullptr);
  CloseHandle(file);
  EXPECT_EQ((uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime, kLateTicks);
#else
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, int64_t{kLateSeconds});
  EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'700) << "the element's own time, not the header's";
#endif
}

// An element whose siblings lie past the end of the directory: an
// enumeration that reaches it breaks off there.
void BreakSiblingsOf(const std::string& arc, std::u16string_view name) {
  cfb::testing::RawFile raw(arc);
  uint32_t id = 0;
  uint8_t* entry = EntryNamed(raw, name, id);
  cfb::StoreU32(entry + 0x44, 1000);
  cfb::StoreU32(entry + 0x48, 1000);
  raw.Save();
}

TEST_F(Extraction, ADamagedDirectoryIsReportedNotListedInPart) {
  const std::string inner = dir / "inner.doc";
  {
    CompoundBuilder file(inner);
    for (const char16_t* name : {u"sub/a", u"sub/b", u"sub/c", u"top"}) file.Stream(name, "x");
  }
  BreakSiblingsOf(inner, u"c");
  int32_t end = 0;
  List(inner, &end);
  // The system's storage (Windows) opens the file and lists what it can;
  // the storage that breaks off is then reported when tested. The engine
  // refuses the file as a whole.
  if (end == E_END_ARCHIVE) {
    EXPECT_EQ(Process(inner, "sub", ""), E_BAD_DATA);
  }

  const std::string outer = dir / "outer.doc";
  {
    CompoundBuilder file(outer);
    for (const char16_t* name : {u"sub/a", u"top"}) file.Stream(name, "x");
  }
  BreakSiblingsOf(outer, u"top");
  List(outer, &end);
  EXPECT_NE(end, E_END_ARCHIVE);
}

using PackingTarget = StoragePlugin;

TEST_F(PackingTarget, EachBadArchiveHasItsOwnCode) {
  TempDir src;
  src.Write("a.txt", "a");
  const std::string text = dir.Write("notes.doc", "plain text");
  EXPECT_EQ(Pack(text, nullptr, src.Slash(), {"a.txt"}), E_UNKNOWN_FORMAT);
  EXPECT_EQ(ReadFile(text), "plain text");
  EXPECT_EQ(Pack(dir / "missing/new.doc", nullptr, src.Slash(), {"a.txt"}), E_ECREATE);
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));

#ifndef _WIN32
  // Another user's archive: one that cannot be read, and one that can be
  // read but not written.
  const std::string arc = dir / "theirs.doc";
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"a.txt"}), 0);
  const std::string readable = dir / "readable.doc";
  fs::copy_file(arc, readable);
  fs::permissions(dir.path(), fs::perms::all);
  fs::permissions(src.path(), fs::perms::all);
  fs::permissions(arc, fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(readable, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read |
                                fs::perms::owner_write);
  const auto asAnotherUser = [&](const std::string& archive) {
    return testing_support::RunInChild([&] {
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return -1;
      if (geteuid() == 0 || getuid() == 0) return -1;
      return Pack(archive, nullptr, src.Slash(), {"a.txt"});
    });
  };
  if (kWritesAnyFile) {
    EXPECT_EQ(asAnotherUser(arc), E_EREAD);
    EXPECT_EQ(asAnotherUser(readable), E_EWRITE);
  }
#endif
}

// A source file another program holds is in use; one that cannot be read
// for any other reason is a read error.
TEST_F(PackingTarget, EachUnreadableSourceHasItsOwnCode) {
  TempDir src;
  const std::string held = src.Write("held.txt", "held");
  const std::string arc = dir / "a.doc";
  {
#ifdef _WIN32
    HANDLE holder = CreateFileW(testing_support::Utf8Path(held).c_str(), GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"held.txt"}), E_EOPEN);
    CloseHandle(holder);
#else
    const int holder = open(held.c_str(), O_RDWR);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"held.txt"}), E_EOPEN);
    close(holder);
#endif
  }
  EXPECT_EQ(Pack(arc, nullptr, src.Slash(), {"missing.txt"}), E_EREAD);
  EXPECT_FALSE(fs::exists(arc)) << "a failed call leaves no new archive";
}

}  // namespace
}  // namespace storage_plugin
