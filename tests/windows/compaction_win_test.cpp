// Compaction on the system's structured storage, under Wine: a delete that
// leaves most of the file free gives the room back through a copy that
// takes the file's place; files a copy cannot reproduce are left as they are.
#include <windows.h>

#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;

const CLSID kClass = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr DWORD kStateBits = 0x5A;

std::wstring Wide(const std::string& path) { return testing_support::Utf8Path(path).wstring(); }

STATSTG StatOf(const std::string& arc, const std::u16string& storagePath) {
  platform::ComPtr<IStorage> root, storage;
  STATSTG stat{};
  if (FAILED(StgOpenStorage(Wide(arc).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr,
                            0, root.Receive())))
    return stat;
  IStorage* target = root.Get();
  if (!storagePath.empty()) {
    const std::wstring name(storagePath.begin(), storagePath.end());
    if (FAILED(root->OpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr,
                                 0, storage.Receive())))
      return stat;
    target = storage.Get();
  }
  target->Stat(&stat, STATFLAG_NONAME);
  return stat;
}

// A file with a storage that carries a class id and state bits, an empty
// storage and an empty stream.
std::string BuildMarked(const TempDir& dir, const std::string& name) {
  const std::string arc = dir / name;
  CompoundBuilder file(arc);
  file.Stream(u"keep/small", "small");
  file.Stream(u"keep/medium", std::string(100000, 'm'));
  file.Stream(u"keep/none", "");
  file.Stream(u"top", std::string(5000, 't'));
  file.Storage(u"empty");
  IStorage* keep = file.Storage(u"keep");
  keep->SetClass(kClass);
  keep->SetStateBits(kStateBits, ~DWORD{0});
  return arc;
}

std::vector<std::string> FilesIn(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Past 7 MiB, a file with 512-byte sectors lists its allocation table in
// sectors of their own.
constexpr size_t kBigBytes = 8 << 20;

class Compaction : public StoragePlugin {
 protected:
  // Packs a large stream into the archive and deletes it again.
  void PackAndDeleteBig(const std::string& arc) {
    TempDir src;
    src.Write("big.bin", std::string(kBigBytes, 'b'));
    ASSERT_EQ(Pack(arc, nullptr, src.Slash(), {"big.bin"}), 0);
    ASSERT_GT(fs::file_size(arc), kBigBytes);
    ASSERT_EQ(Delete(arc, {"big.bin"}), 0);
  }

  void ExpectContentKept(const std::string& arc) {
    const std::vector<std::string> paths = Paths(arc);
    EXPECT_EQ(
        std::set<std::string>(paths.begin(), paths.end()),
        (std::set<std::string>{"top", "keep", "keep/small", "keep/medium", "keep/none", "empty"}));
    EXPECT_EQ(Process(arc, "keep/medium", dir / "m"), 0);
    EXPECT_EQ(ReadFile(dir / "m"), std::string(100000, 'm'));
    EXPECT_EQ(Process(arc, "top", dir / "t"), 0);
    EXPECT_EQ(ReadFile(dir / "t"), std::string(5000, 't'));
    fs::remove(dir / "m");
    fs::remove(dir / "t");
  }
};

TEST_F(Compaction, AFileLeftMostlyFreeShrinksAndKeepsWhatItHolds) {
  const std::string arc = BuildMarked(dir, "c.doc");
  const std::wstring name = Wide(arc);
  ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  const STATSTG before = StatOf(arc, u"keep");
  const uint64_t sizeBefore = fs::file_size(arc);

  PackAndDeleteBig(arc);
  EXPECT_LE(fs::file_size(arc), sizeBefore + 4096);
  ExpectContentKept(arc);
  const STATSTG after = StatOf(arc, u"keep");
  EXPECT_TRUE(IsEqualCLSID(after.clsid, kClass));
  EXPECT_EQ(after.grfStateBits, before.grfStateBits) << "Wine reports none";
  EXPECT_EQ(CompareFileTime(&after.mtime, &before.mtime), 0);
  EXPECT_EQ(CompareFileTime(&after.ctime, &before.ctime), 0);
  EXPECT_EQ(GetFileAttributesW(name.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"c.doc"})) << "no copy left behind";
}

TEST_F(Compaction, AFileWithASecondNameIsLeftAtItsSize) {
  const std::string arc = BuildMarked(dir, "l.doc");
  ASSERT_TRUE(CreateHardLinkW(Wide(dir / "other.doc").c_str(), Wide(arc).c_str(), nullptr));
  PackAndDeleteBig(arc);
  EXPECT_GT(fs::file_size(arc), kBigBytes);
  ExpectContentKept(arc);
  ExpectContentKept(dir / "other.doc");
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"l.doc", "other.doc"}));
}

// Siblings whose names differ only in case, as other writers make them: the
// system's storage could not create the second in a copy (and Wine's does
// not even list it).
TEST_F(Compaction, AFileACopyCannotReproduceIsLeftAsItIs) {
  const std::string arc = dir / "case.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"ab", "lower");
    file.Stream(u"xy", "upper");
    file.Stream(u"big", std::string(3 << 20, 'b'));
  }
  const std::string xy("x\0y\0\0\0", 6), upper("A\0B\0\0\0", 6);
  std::string bytes = ReadFile(arc);
  const size_t at = bytes.find(xy);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, xy.size(), upper);
  std::ofstream(testing_support::Utf8Path(arc), std::ios::binary) << bytes;

  ASSERT_EQ(Delete(arc, {"big"}), 0);
  EXPECT_GT(fs::file_size(arc), 3u << 20);
  EXPECT_NE(ReadFile(arc).find(upper), std::string::npos);
  EXPECT_EQ(Process(arc, "ab", dir / "ab"), 0);
  EXPECT_EQ(ReadFile(dir / "ab"), "lower");
  fs::remove(dir / "ab");
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"case.doc"}));
}

// wcxhost deleting the larger part of an archive, which it then compacts,
// killed while the copy is written or once it is: the archive holds its
// content, and the next compaction leaves no copy beside it.
class KilledCompaction : public Compaction {
 protected:
  static constexpr size_t kKeptBytes = 8 << 20;

  void SetUp() override {
    arc = dir / "victim.doc";
    // What goes lies before what stays: only a compaction gives its room back.
    CompoundBuilder file(arc);
    file.Stream(u"drop", std::string(3 * kKeptBytes, 'd'));
    file.Stream(u"keep", std::string(kKeptBytes, 'k'));
  }

  // Kills the delete once its copy holds copyBytes, and then after delayMs;
  // never when copyBytes is 0.
  void DeleteInHost(uint64_t copyBytes, DWORD delayMs) {
    std::wstring command = L"\"" + Wide(WCXHOST) + L"\" --plugin \"" + Wide(QOR_PLUGIN) +
                           L"\" delete \"" + Wide(arc) + L"\" drop";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION host{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &host)) {
      ADD_FAILURE() << "wcxhost does not start: " << GetLastError();
      return;
    }
    const std::string copy = arc + ".~qor0";
    if (copyBytes == 0) WaitForSingleObject(host.hProcess, INFINITE);
    while (copyBytes > 0 && WaitForSingleObject(host.hProcess, 1) == WAIT_TIMEOUT) {
      std::error_code missing;
      const uintmax_t size = fs::file_size(testing_support::Utf8Path(copy), missing);
      if (!missing && size >= copyBytes) {
        WaitForSingleObject(host.hProcess, delayMs);
        break;
      }
    }
    TerminateProcess(host.hProcess, 99);
    WaitForSingleObject(host.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(host.hProcess, &status);
    EXPECT_TRUE(status == 0 || status == 99) << "the delete failed by itself: " << status;
    CloseHandle(host.hProcess);
    CloseHandle(host.hThread);
  }

  void ExpectKeptAndCompactedAlone() {
    const std::vector<std::string> paths = Paths(arc);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "keep"), paths.end());
    const QOR_COMPACTION large{4096, 0, 0};
    EXPECT_EQ(QorCompactStorageFile(Wide(arc).c_str(), &large), S_OK);
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"victim.doc"})) << "a copy stayed";
    EXPECT_EQ(Process(arc, "keep", dir / "k"), 0);
    EXPECT_EQ(ReadFile(dir / "k"), std::string(kKeptBytes, 'k'));
    fs::remove(dir / "k");
  }

  std::string arc;
};

TEST_F(KilledCompaction, LeavesNoCopyBehindTheNextCompaction) {
  const std::string original = ReadFile(arc);
  DeleteInHost(0, 0);
  ASSERT_LT(fs::file_size(arc), 2 * kKeptBytes) << "the delete compacted";
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"victim.doc"}));
  struct Kill {
    uint64_t copyBytes;
    DWORD delayMs;
  };
  const Kill kills[] = {{1, 0},          {kKeptBytes / 3, 0},  {2 * kKeptBytes / 3, 0},
                        {kKeptBytes, 0}, {kKeptBytes, 20},     {kKeptBytes, 60}};
  for (const Kill& at : kills) {
    std::ofstream(testing_support::Utf8Path(arc), std::ios::binary | std::ios::trunc) << original;
    DeleteInHost(at.copyBytes, at.delayMs);
    ExpectKeptAndCompactedAlone();
    if (HasFailure()) FAIL() << "killed at " << at.copyBytes << " bytes, " << at.delayMs << " ms";
  }
}

// What a compaction ended at any step leaves beside the file: the next one
// removes whatever holds nothing the file does not, and only that.
TEST_F(Compaction, RemovesWhatAnEndedCompactionLeftAndNothingElse) {
  const std::string arc = BuildMarked(dir, "r.doc");
  const std::string original = ReadFile(arc);
  const std::string other = dir / "other.doc";
  CompoundBuilder(other).Stream(u"other", "other");
  const std::string different = ReadFile(other);
  fs::remove(other);
  dir.Write("r.doc.~qor0", "");                        // created, nothing written
  dir.Write("r.doc.~qor1", original.substr(0, 700));   // killed while the system wrote it
  dir.Write("r.doc.~qor2", original);                  // finished, not yet in place
  dir.Write("r.doc.~qor3", different);                 // not ours to judge
  dir.Write("r.doc.~qor4", "");                        // another compaction's, being written
  dir.Write("r.doc.~qorold", original);                // the old content, replaced
  const HANDLE writer = CreateFileW(Wide(dir / "r.doc.~qor4").c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);

  const QOR_COMPACTION large{4096, 0, 0};
  EXPECT_EQ(QorCompactStorageFile(Wide(arc).c_str(), &large), S_OK);
  CloseHandle(writer);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"r.doc", "r.doc.~qor3", "r.doc.~qor4"}));
  ExpectContentKept(arc);

  // Old content that differs from the file is left, and nothing overwrites it.
  dir.Write("r.doc.~qorold", different);
  const std::string compacted = ReadFile(arc);
  EXPECT_EQ(QorCompactStorageFile(Wide(arc).c_str(), &large), S_FALSE);
  EXPECT_EQ(ReadFile(arc), compacted);
  EXPECT_EQ(ReadFile(dir / "r.doc.~qorold"), different);
}

// Wine's replace moves the original aside before the copy takes its name:
// a process ended between the two leaves the file under the name it was
// moved to, and the next open puts it back.
TEST_F(Compaction, AReplaceEndedBetweenItsMovesIsUndoneByTheNextOpen) {
  const std::string arc = BuildMarked(dir, "m.doc");
  const std::string original = ReadFile(arc);
  fs::rename(testing_support::Utf8Path(arc), testing_support::Utf8Path(dir / "m.doc.~qorold"));
  dir.Write("m.doc.~qor0", original);
  ExpectContentKept(arc);
  EXPECT_EQ(ReadFile(arc), original);
  const QOR_COMPACTION large{4096, 0, 0};
  EXPECT_EQ(QorCompactStorageFile(Wide(arc).c_str(), &large), S_OK);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"m.doc"}));
}

// The conversion that lets a file with 512-byte sectors grow past 2 GB, on
// a small file: the same content in 4096-byte sectors.
TEST(CompactionCall, ChangesTheSectorSizeOrLeavesAFileWithLittleFree) {
  TempDir dir;
  const std::string arc = BuildMarked(dir, "s.doc");
  const std::wstring name = Wide(arc);
  const std::string original = ReadFile(arc);
  const QOR_COMPACTION keep{0, 50, 1 << 20};
  EXPECT_EQ(QorCompactStorageFile(name.c_str(), &keep), S_FALSE);
  EXPECT_EQ(ReadFile(arc), original);

  const QOR_COMPACTION large{4096, 0, 0};
  ASSERT_EQ(QorCompactStorageFile(name.c_str(), &large), S_OK);
  const std::string converted = ReadFile(arc);
  ASSERT_GT(converted.size(), 0x20u);
  EXPECT_EQ(converted[0x1E], 12) << "sector shift";
  EXPECT_EQ(converted[0x1A], 4) << "major version";
  const STATSTG keepStat = StatOf(arc, u"keep");
  EXPECT_TRUE(IsEqualCLSID(keepStat.clsid, kClass));
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"s.doc"}));
}

// A writer elsewhere, or a directory chain that runs in a circle: a failure,
// and the file as it was.
TEST(CompactionCall, LeavesAFileInUseOrDamaged) {
  TempDir dir;
  const std::string arc = BuildMarked(dir, "u.doc");
  const std::wstring name = Wide(arc);
  const std::string original = ReadFile(arc);
  const QOR_COMPACTION large{4096, 0, 0};
  {
    const HANDLE writer =
        CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FAILED(QorCompactStorageFile(name.c_str(), &large)));
    CloseHandle(writer);
  }
  EXPECT_EQ(ReadFile(arc), original);

  // The directory's first sector follows itself in the allocation table.
  std::string looped = original;
  uint32_t directory = 0, fat = 0;
  memcpy(&directory, looped.data() + 0x30, 4);
  memcpy(&fat, looped.data() + 0x4C, 4);
  memcpy(looped.data() + (fat + 1) * 512 + directory * 4, &directory, 4);
  std::ofstream(testing_support::Utf8Path(arc), std::ios::binary) << looped;
  EXPECT_TRUE(FAILED(QorCompactStorageFile(name.c_str(), &large)));
  EXPECT_EQ(ReadFile(arc), looped);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"u.doc"}));
}

}  // namespace
}  // namespace storage_plugin
