// A writer that finds the archive held by another operation waits its turn:
// through as long an operation as the other runs, while the host's progress
// callback (size 0, the archive's name) keeps its dialog and cancel button
// alive. A cancel ends the wait at once and changes nothing.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Guards only: a test that needs these has failed.
constexpr auto kGuard = std::chrono::seconds(60);

enum class WaitReply { kGoOn, kCancel };

// The first pack stops in its first progress report, holding the archive,
// until released.
std::promise<void>* gHolding = nullptr;
std::shared_future<void> gRelease;
int32_t WCX_API HoldFirstReport(char*, int32_t) {
  if (std::promise<void>* holding = std::exchange(gHolding, nullptr)) {
    holding->set_value();
    gRelease.wait();
  }
  return 1;
}

// The waiting writer's reports of size 0: how many, and the reply.
std::atomic<int> gWaitReports = 0;
std::atomic<WaitReply> gWaitReply = WaitReply::kGoOn;
std::string gWaitName;  // set before the writer starts
std::atomic<bool> gWaitNameWrong = false;
int32_t WCX_API NoteWaitReport(char* name, int32_t size) {
  if (size != 0) return 1;
  if (!name || gWaitName != name) gWaitNameWrong = true;
  gWaitReports++;
  return gWaitReply == WaitReply::kCancel ? 0 : 1;
}

class WriterTurn : public StoragePlugin {
 protected:
  void SetUp() override {
    arc = dir / "shared.doc";
    {
      CompoundBuilder file(arc);
      file.Stream(u"keep", "kept");
    }
    first.Write("first.bin", std::string(200000, '1'));
    second.Write("second.bin", "second");
    gWaitReports = 0;
    gWaitReply = WaitReply::kGoOn;
    gWaitName = arc;
    gWaitNameWrong = false;
  }

  // Starts the first pack and returns once it holds the archive.
  void StartHolder() {
    gHolding = &holding_;
    gRelease = release_.get_future().share();
    holder_ = std::async(std::launch::async, [this] {
      plugin->SetProcessDataProc(kGlobalHandle, HoldFirstReport);
      return PackOn(first, "first.bin");
    });
    ASSERT_EQ(holding_.get_future().wait_for(kGuard), std::future_status::ready);
  }
  int32_t ReleaseHolder() {
    release_.set_value();
    released_ = true;
    return holder_.get();
  }
  // A test that stopped early must not leave the first pack held.
  void TearDown() override {
    if (holder_.valid() && !released_) ReleaseHolder();
    StoragePlugin::TearDown();
  }

  // A second operation in a thread of its own, with the callback given.
  std::future<int32_t> Start(tProcessDataProc callback, std::function<int32_t()> operation) {
    return std::async(std::launch::async, [this, callback, operation] {
      plugin->SetProcessDataProc(kGlobalHandle, callback);
      return operation();
    });
  }
  std::future<int32_t> StartSecondPack(tProcessDataProc callback) {
    return Start(callback, [this] { return PackOn(second, "second.bin"); });
  }

  int32_t PackOn(const TempDir& src, const std::string& name) {
    std::string list = HostList({name});
    std::string source = src.Slash();
    return plugin->PackFiles(const_cast<char*>(arc.c_str()), nullptr, source.data(), list.data(),
                             PK_PACK_MOVE_FILES);
  }

  static bool AwaitWaitReports(int count) {
    const auto until = Clock::now() + kGuard;
    while (gWaitReports < count && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return gWaitReports >= count;
  }

  std::string arc;
  TempDir first, second;

 private:
  std::promise<void> holding_, release_;
  std::future<int32_t> holder_;
  bool released_ = false;
};

// Fifteen reports at the callback's pace are seconds: past any short limit.
TEST_F(WriterTurn, ASecondPackWaitsAsLongAsTheFirstRunsAndBothAddsAreKept) {
  StartHolder();
  std::future<int32_t> waiting = StartSecondPack(NoteWaitReport);
  EXPECT_TRUE(AwaitWaitReports(15)) << "the second pack never reported its wait";
  EXPECT_EQ(waiting.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
      << "it did not wait for the first";
  EXPECT_EQ(ReleaseHolder(), 0);
  ASSERT_EQ(waiting.wait_for(kGuard), std::future_status::ready);
  EXPECT_EQ(waiting.get(), 0);
  EXPECT_FALSE(gWaitNameWrong) << "a wait report without the archive's name";
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"keep", "first.bin", "second.bin"}));
  EXPECT_FALSE(fs::exists(second / "second.bin"));
}

// A pack and a delete cancelled while they wait end before the holder lets
// go, and leave the archive and the sources as the holder made them.
TEST_F(WriterTurn, ACancelDuringTheWaitEndsItAndChangesNothing) {
  StartHolder();
  gWaitReply = WaitReply::kCancel;
  std::future<int32_t> pack = StartSecondPack(NoteWaitReport);
  std::future<int32_t> erase = Start(NoteWaitReport, [this] {
    std::string list = HostList({"keep"});
    return plugin->DeleteFiles(const_cast<char*>(arc.c_str()), list.data());
  });
  const bool packEnded = pack.wait_for(kGuard) == std::future_status::ready;
  const bool deleteEnded = erase.wait_for(kGuard) == std::future_status::ready;
  EXPECT_EQ(ReleaseHolder(), 0);
  ASSERT_TRUE(packEnded && deleteEnded);
  EXPECT_EQ(pack.get(), E_EABORTED);
  EXPECT_EQ(erase.get(), E_EABORTED);
  EXPECT_TRUE(fs::exists(second / "second.bin"));
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"keep", "first.bin"}));
}

// A host that set no callback cannot cancel, so the wait is bounded, but
// not so short that an ordinary change of another operation ends it.
TEST_F(WriterTurn, WithoutACallbackAWriterStillWaitsSeveralSeconds) {
  StartHolder();
  std::future<int32_t> waiting = StartSecondPack(nullptr);
  const bool ended = waiting.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
  EXPECT_EQ(ReleaseHolder(), 0);
  EXPECT_FALSE(ended) << "gave up after less than 3 s";
  EXPECT_EQ(waiting.get(), 0);
  EXPECT_EQ(Paths(arc), (std::vector<std::string>{"keep", "first.bin", "second.bin"}));
}

#ifndef _WIN32
// On Linux A.doc and a.doc are two archives: a reader of one does not queue
// behind a writer that waits for the other (the queue's own limit is 2 s,
// ten reports).
TEST_F(WriterTurn, ANameThatDiffersInCaseOnlyIsAnotherArchiveOnLinux) {
  const std::string upper = dir / "A.doc", lower = dir / "a.doc";
  fs::rename(arc, upper);
  {
    CompoundBuilder file(lower);
    file.Stream(u"other", "other");
  }
  arc = gWaitName = upper;
  StartHolder();
  std::future<int32_t> waiting = StartSecondPack(NoteWaitReport);
  ASSERT_TRUE(AwaitWaitReports(1));
  const int before = gWaitReports;
  int32_t end = 0;
  EXPECT_EQ(List(lower, &end).size(), 1u);
  EXPECT_EQ(end, E_END_ARCHIVE);
  EXPECT_LT(gWaitReports - before, 5) << "the listing waited behind the writer of A.doc";
  EXPECT_EQ(ReleaseHolder(), 0);
  EXPECT_EQ(waiting.get(), 0);
}
#endif

}  // namespace
}  // namespace storage_plugin
