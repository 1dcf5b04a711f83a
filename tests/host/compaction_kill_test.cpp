// A host killed while a delete compacts the archive: no copy of the archive
// stays beside it, the archive holds what it held before or after the
// delete (for the readers we do not own), and the next
// compaction works and leaves nothing behind either. What a killed copy
// left where files cannot be unnamed goes with the next compaction; other
// files by such names stay.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cfb/compound_file.h"
#include "child_process.h"
#include "platform/ole.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::testing::ReaderComplaints;
using cfb::testing::UnusedTail;

constexpr size_t kKeptBytes = 8 << 20;
constexpr size_t kDroppedBytes = 24 << 20;

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.insert(entry.path().filename().string());
  return names;
}

// Whether the file system of dir makes files without a name.
bool HasUnnamedFiles(const TempDir& dir) {
  const int fd = open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

class CompactionKill : public StoragePlugin {
 protected:
  void SetUp() override {
    // Where the copy is followed.
    if (!fs::exists("/proc/self/fd")) GTEST_SKIP() << "no /proc";
    arc = dir / "victim.doc";
    CompoundBuilder file(arc);
    // What goes lies before what stays: only a compaction gives its room back.
    file.Stream(u"drop", std::string(kDroppedBytes, 'd'));
    file.Stream(u"keep", std::string(kKeptBytes, 'k'));
    ASSERT_EQ(FilesIn(dir), std::set<std::string>{"victim.doc"});
  }

  // Deletes "drop", which leaves most of the archive free, in a child
  // process; killed after delay when given, else once the copy it writes
  // beside the archive holds at least copyBytes; how long it ran.
  std::chrono::microseconds DeleteInChild(std::optional<std::chrono::microseconds> delay,
                                          std::optional<uint64_t> copyBytes = std::nullopt) {
    const auto start = std::chrono::steady_clock::now();
    testing_support::ChildProcess host([&] { return Delete(arc, {"drop"}); });
    if (delay) {
      std::this_thread::sleep_for(*delay);
      kill(host.pid(), SIGKILL);
    } else if (copyBytes) {
      const auto deadline = start + std::chrono::seconds(30);
      while (CopyBytesHeldBy(host.pid()) < *copyBytes && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      EXPECT_LT(std::chrono::steady_clock::now(), deadline) << "no copy seen";
      kill(host.pid(), SIGKILL);
    }
    EXPECT_NE(host.Wait(), 1) << "the delete failed by itself";
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
  }

  // The size of the file other than the archive that the process holds open
  // in the archive's folder, named or not; 0 when none.
  uint64_t CopyBytesHeldBy(pid_t pid) const {
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ignored;
    for (const auto& fd : fs::directory_iterator(fds, ignored)) {
      const std::string target = fs::read_symlink(fd.path(), ignored).string();
      if (target.rfind(dir.path().string() + "/", 0) != 0 || target == arc ||
          target == arc + " (deleted)")
        continue;
      const uintmax_t size = fs::file_size(fd.path(), ignored);
      if (!ignored) return size;
    }
    return 0;
  }

  void ExpectArchiveAloneAndWhole() {
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"victim.doc"}) << "a copy stayed";
    // A kill in the delete's own commit leaves what it had begun to write
    // past the end that the committed tables describe.
    EXPECT_EQ(ReaderComplaints({arc}, UnusedTail::kAllowed), "");
    const std::vector<std::string> paths = Paths(arc);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "keep"), paths.end());
  }

  // A compaction that copies the archive whatever it holds free.
  void ConvertToLargeSectors() {
    const std::u16string name(arc.begin(), arc.end());
    const QOR_COMPACTION large{4096, 0, 0};
    EXPECT_EQ(QorCompactStorageFile(name.c_str(), &large), S_OK);
  }

  // The delete again, in this process: a compaction that must finish.
  void CompactAgain(const std::string& original) {
    std::ofstream(arc, std::ios::binary | std::ios::trunc) << original;
    ASSERT_EQ(Delete(arc, {"drop"}), 0);
    EXPECT_LT(fs::file_size(arc), kKeptBytes + kDroppedBytes / 2);
  }

  std::string arc;
};

TEST_F(CompactionKill, NoCopyOutlivesAKilledCompaction) {
  const std::string original = ReadFile(arc);
  const auto span = DeleteInChild(std::nullopt);
  ASSERT_LT(fs::file_size(arc), kKeptBytes + kDroppedBytes / 2) << "the delete compacted";
  // Kills while the copy is written, and spread over the whole delete.
  constexpr int kKills = 4;
  for (int k = 0; k < 2 * kKills && !HasFailure(); ++k) {
    std::ofstream(arc, std::ios::binary | std::ios::trunc) << original;
    if (k < kKills)
      DeleteInChild(std::nullopt, 1 + kKeptBytes * k / kKills);
    else
      DeleteInChild(span * (2 * (k - kKills) + 1) / (2 * kKills));
    // Elsewhere a killed copy stays until the next compaction.
    if (!HasUnnamedFiles(dir)) ConvertToLargeSectors();
    ExpectArchiveAloneAndWhole();
    if (HasFailure()) ADD_FAILURE() << "kill " << k;
  }
  CompactAgain(original);
  ExpectArchiveAloneAndWhole();
}

// A copy written under a name from the start, as where the file system has
// no unnamed files, whose process was killed while writing it.
void LeaveKilledCopy(const std::string& arc, const std::string& leftover) {
  testing_support::ChildProcess copier([&] {
    auto source = cfb::CompoundFile::Open(arc, cfb::CompoundFile::Access::kRead,
                                          cfb::ShareLock::kShared);
    cfb::CompoundFile::CreateCopy(*source, leftover, source->version());
    return 0;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((!fs::exists(leftover) || fs::file_size(leftover) < kKeptBytes / 4) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  kill(copier.pid(), SIGKILL);
  ASSERT_LT(copier.Wait(), 0) << "killed while it wrote";
  ASSERT_TRUE(fs::exists(leftover));
}

TEST_F(CompactionKill, TheNextCompactionRemovesOnlyAKilledCopy) {
  const std::string leftover = arc + ".~qor0";
  LeaveKilledCopy(arc, leftover);
  if (HasFatalFailure()) return;
  // Someone else's files by the names of copies.
  const std::string notes = "not a copy";
  dir.Write("victim.doc.~qor1", notes);
  {
    CompoundBuilder other(arc + ".~qor2");
    other.Stream(u"other", "a compound file of someone else");
  }

  ASSERT_EQ(Delete(arc, {"drop"}), 0);
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"victim.doc", "victim.doc.~qor1",
                                                  "victim.doc.~qor2"}));
  EXPECT_EQ(ReadFile(arc + ".~qor1"), notes);
  EXPECT_EQ(ReaderComplaints(arc + ".~qor2"), "");
  EXPECT_EQ(ReaderComplaints(arc), "");
}

// An edit that leaves too little free to compact removes it all the same.
TEST_F(CompactionKill, AnEditThatDoesNotCompactRemovesAKilledCopy) {
  const std::string leftover = arc + ".~qor0";
  LeaveKilledCopy(arc, leftover);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Delete(arc, {"keep"}), 0);  // at the end: the file is cut, nothing left free
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"victim.doc"}));
  EXPECT_EQ(ReaderComplaints(arc), "");
}

}  // namespace
}  // namespace storage_plugin
