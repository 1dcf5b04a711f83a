// A host killed while a delete compacts the archive: no copy of the archive
// stays beside it, the archive holds what it held before or after the
// delete (for olefile in its strict mode and for 7-Zip), and the next
// compaction works and leaves nothing behind either. What a killed copy
// left where files cannot be unnamed goes with the next compaction; other
// files by such names stay.
#include <signal.h>

#include <chrono>
#include <thread>

#include "cfb/compound_file.h"
#include "child_process.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::testing::RunCommand;
using cfb::testing::ShellQuote;

constexpr size_t kKeptBytes = 8 << 20;
constexpr size_t kDroppedBytes = 24 << 20;

// What olefile in its strict mode and 7-Zip's test say against the file;
// empty when both accept it.
std::string StrictReadersComplaints(const std::string& arc) {
  static const char* kStrictOlefile =
      "import olefile,sys\n"
      "o=olefile.OleFileIO(sys.argv[1],raise_defects=olefile.DEFECT_INCORRECT)\n"
      "for e in o.listdir():\n"
      "  o.openstream(e).read()\n";
  std::string said;
  const auto ole = RunCommand("/usr/bin/python3 -c " + ShellQuote(kStrictOlefile) + " " +
                              ShellQuote(arc) + " 2>&1");
  if (ole.status != 0) said += ole.output;
  const auto sevenZip = RunCommand("7zz t " + ShellQuote(arc) + " 2>&1");
  if (sevenZip.status != 0) said += sevenZip.output;
  return said;
}

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.insert(entry.path().filename().string());
  return names;
}

class CompactionKill : public StoragePlugin {
 protected:
  void SetUp() override {
    arc = dir / "victim.doc";
    CompoundBuilder file(arc);
    file.Stream(u"keep", std::string(kKeptBytes, 'k'));
    file.Stream(u"drop", std::string(kDroppedBytes, 'd'));
    ASSERT_EQ(FilesIn(dir), std::set<std::string>{"victim.doc"});
  }

  // Deletes "drop", which leaves most of the archive free, in a child
  // process killed after delay (never, when negative); how long it ran.
  std::chrono::microseconds DeleteInChild(std::chrono::microseconds delay) {
    const auto start = std::chrono::steady_clock::now();
    testing_support::ChildProcess host([&] { return Delete(arc, {"drop"}); });
    if (delay.count() >= 0) {
      std::this_thread::sleep_for(delay);
      kill(host.pid(), SIGKILL);
    }
    EXPECT_NE(host.Wait(), 1) << "the delete failed by itself";
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
  }

  void ExpectArchiveAloneAndWhole() {
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"victim.doc"}) << "a copy stayed";
    EXPECT_EQ(StrictReadersComplaints(arc), "");
    const std::vector<std::string> paths = Paths(arc);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "keep"), paths.end());
  }

  // Packs and deletes a large stream, in this process: a compaction that
  // must finish.
  void CompactAgain() {
    TempDir src;
    src.Write("big.bin", std::string(kDroppedBytes, 'b'));
    ASSERT_EQ(Pack(arc, nullptr, src.Slash(), {"big.bin"}), 0);
    ASSERT_EQ(Delete(arc, {"big.bin"}), 0);
    EXPECT_LT(fs::file_size(arc), kKeptBytes + kDroppedBytes / 2);
  }

  std::string arc;
};

TEST_F(CompactionKill, NoCopyOutlivesAKilledCompaction) {
  const std::string original = ReadFile(arc);
  const auto span = DeleteInChild(std::chrono::microseconds(-1));
  ASSERT_LT(fs::file_size(arc), kKeptBytes + kDroppedBytes / 2) << "the delete compacted";
  // Most of the delete is the copy: kills spread over it land while it is
  // written, and some before or after.
  constexpr int kKills = 8;
  for (int k = 0; k < kKills && !HasFailure(); ++k) {
    std::ofstream(arc, std::ios::binary | std::ios::trunc) << original;
    DeleteInChild(span * (2 * k + 1) / (2 * kKills));
    ExpectArchiveAloneAndWhole();
    if (HasFailure()) ADD_FAILURE() << "kill " << k << " of " << kKills;
  }
  CompactAgain();
  ExpectArchiveAloneAndWhole();
}

// A copy written under a name from the start, as where the file system has
// no unnamed files, whose process was killed while writing it.
TEST_F(CompactionKill, TheNextCompactionRemovesOnlyAKilledCopy) {
  const std::string leftover = arc + ".~qor0";
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
  EXPECT_EQ(StrictReadersComplaints(arc + ".~qor2"), "");
  EXPECT_EQ(StrictReadersComplaints(arc), "");
}

}  // namespace
}  // namespace storage_plugin
