// Two programs on one archive: while one packs, the other cannot list it
// (E_EOPEN), and its pack or delete waits for its turn, reporting the wait,
// until the first is done or the user cancels. Two that pack into the same
// new archive at the same moment never lose a moved file and never damage
// the archive.
#include <unistd.h>

#include "child_process.h"
#include "model.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::testing::ListWithEngine;
using testing_support::ChildProcess;

// A one-way signal between processes.
class Signal {
 public:
  Signal() {
    if (pipe(fds_) != 0) throw std::runtime_error("pipe");
  }
  ~Signal() {
    close(fds_[0]);
    close(fds_[1]);
  }
  void Raise() const {
    const char c = 1;
    if (write(fds_[1], &c, 1) != 1) _exit(3);
  }
  void Await() const {
    char c;
    if (read(fds_[0], &c, 1) != 1) _exit(3);
  }

 private:
  int fds_[2];
};

// The packing child stops in its first progress report until released.
const Signal* gInside = nullptr;
const Signal* gRelease = nullptr;
int32_t WCX_API PauseOnce(char*, int32_t) {
  if (gInside) {
    gInside->Raise();
    gRelease->Await();
    gInside = nullptr;
  }
  return 1;
}

// The waiting program lets the packing one go on after a number of reports
// of its wait (size 0).
const Signal* gReleaseAfterWait = nullptr;
int gWaitReportsLeft = 0;
int32_t WCX_API ReleaseAfterWaitReports(char*, int32_t size) {
  if (size == 0 && gReleaseAfterWait && --gWaitReportsLeft == 0) gReleaseAfterWait->Raise();
  return 1;
}

using TwoProcesses = StoragePlugin;

TEST_F(TwoProcesses, WhileOnePacksTheOtherWaitsForItsTurnOrCancels) {
  const std::string arc = dir / "shared.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"keep", "kept");
  }
  TempDir mine, theirs;
  mine.Write("mine.bin", std::string(200000, 'm'));
  theirs.Write("theirs.bin", "theirs");
  const Signal inside, release;
  ChildProcess packer([&] {
    gInside = &inside;
    gRelease = &release;
    plugin->SetProcessDataProc(kGlobalHandle, PauseOnce);
    std::string list = HostList({"mine.bin"});
    std::string source = mine.Slash();
    return plugin->PackFiles(const_cast<char*>(arc.c_str()), nullptr, source.data(), list.data(),
                             PK_PACK_MOVE_FILES);
  });
  inside.Await();
  int32_t end = 0;
  EXPECT_TRUE(List(arc, &end).empty());
  EXPECT_EQ(end, E_EOPEN);
  gReportsBeforeCancel = 0;
  EXPECT_EQ(Pack(arc, nullptr, theirs.Slash(), {"theirs.bin"}, PK_PACK_MOVE_FILES), E_EABORTED);
  EXPECT_TRUE(fs::exists(theirs / "theirs.bin"));
  EXPECT_EQ(Delete(arc, {"keep"}), E_EABORTED);
  EXPECT_EQ(gReports, (std::vector<int32_t>{0, 0})) << "each reports its wait once, and stops";
  // Fifteen reports are seconds of waiting.
  gReleaseAfterWait = &release;
  gWaitReportsLeft = 15;
  plugin->SetProcessDataProc(kGlobalHandle, ReleaseAfterWaitReports);
  std::string list = HostList({"theirs.bin"});
  std::string source = theirs.Slash();
  EXPECT_EQ(plugin->PackFiles(const_cast<char*>(arc.c_str()), nullptr, source.data(), list.data(),
                              PK_PACK_MOVE_FILES),
            0);
  gReleaseAfterWait = nullptr;
  if (gWaitReportsLeft > 0) release.Raise();
  EXPECT_EQ(packer.Wait(), 0);
  EXPECT_FALSE(fs::exists(mine / "mine.bin"));
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"keep", "mine.bin", "theirs.bin"}));
}

// Both start at once, many times over; whichever creates the archive, the
// other adds to it or is refused, and keeps its file when refused.
TEST_F(TwoProcesses, PackingIntoOneNewArchiveAtOnceLosesNothing) {
  for (int round = 0; round < 40 && !HasFailure(); ++round) {
    const std::string arc = dir / ("new" + std::to_string(round) + ".doc");
    TempDir first, second;
    first.Write("first.bin", std::string(30000, '1'));
    second.Write("second.bin", std::string(30000, '2'));
    const Signal go;
    auto pack = [&](const TempDir& src, const char* name) {
      go.Await();
      return Pack(arc, nullptr, src.Slash(), {name}, PK_PACK_MOVE_FILES);
    };
    ChildProcess firstDone([&] { return pack(first, "first.bin"); });
    ChildProcess secondDone([&] { return pack(second, "second.bin"); });
    go.Raise();
    go.Raise();
    const int firstResult = firstDone.Wait(), secondResult = secondDone.Wait();
    EXPECT_TRUE(firstResult == 0 || secondResult == 0) << "round " << round;
    EXPECT_EQ(fs::exists(first / "first.bin"), firstResult != 0) << "round " << round;
    EXPECT_EQ(fs::exists(second / "second.bin"), secondResult != 0) << "round " << round;
    std::vector<std::string> expected;
    if (firstResult == 0) expected.push_back("first.bin");
    if (secondResult == 0) expected.push_back("second.bin");
    cfb::testing::Listing listing;
    try {
      listing = ListWithEngine(arc);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "round " << round << ": " << e.what();
    }
    std::vector<std::string> stored;
    for (const auto& item : listing) stored.push_back(item.path);
    EXPECT_EQ(stored, expected) << "round " << round << ": results " << firstResult << ", "
                                << secondResult;
  }
}

}  // namespace
}  // namespace storage_plugin
