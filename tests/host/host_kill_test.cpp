// A host killed at random moments while it packs files with
// PK_PACK_MOVE_FILES and deletes entries through the plug-in: the archive
// always opens (for the engine and for olefile), every stream in it holds
// the bytes of its source, and no moved file is ever lost: it is still a
// source, or the archive holds it, or a delete that had finished removed it.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "child_process.h"
#include "model.h"
#include "storage_plugin_fixture.h"
#include "test_files.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::testing::Listing;
using cfb::testing::ListWithEngine;

constexpr int kSteps = 40;

// The host's script: step i moves source i into the archive (every other
// one into a folder); every fourth step also deletes what step i - 2 moved.
std::string SourceName(int i) {
  return (i % 2 ? "sub/f" : "f") + std::to_string(i) + ".bin";
}
std::string SourceContent(int i) {
  const auto bytes = cfb::testing::Pattern(static_cast<size_t>(i) * 1777 % 70000 + 1, i);
  return std::string(bytes.begin(), bytes.end());
}
int DeletedAt(int i) {
  return i % 4 == 1 ? i + 2 : kSteps;
}

class HostKill : public StoragePlugin {
 protected:
  void SetUp() override {
    arc = dir / "victim.doc";
    CompoundBuilder file(arc);
    file.Stream(u"keep", "kept");
  }

  // Runs the script in a child process, killed after delay (never, when
  // negative); the number of steps it finished.
  int RunHost(std::chrono::microseconds delay) {
    for (int i = 0; i < kSteps; ++i) src.Write(SourceName(i), SourceContent(i));
    int done[2];
    if (pipe(done) != 0) return -1;
    testing_support::ChildProcess host([&] {
      close(done[0]);
      for (int i = 0; i < kSteps; ++i) {
        int8_t result = static_cast<int8_t>(
            Pack(arc, nullptr, src.Slash(), {SourceName(i)}, PK_PACK_MOVE_FILES));
        if (i % 4 == 3) result |= static_cast<int8_t>(Delete(arc, {SourceName(i - 2)}));
        if (write(done[1], &result, 1) != 1) return 2;
      }
      return 0;
    });
    close(done[1]);
    if (delay.count() >= 0) {
      std::this_thread::sleep_for(delay);
      kill(host.pid(), SIGKILL);
    }
    host.Wait();
    int finished = 0;
    int8_t result;
    while (read(done[0], &result, 1) == 1) {
      EXPECT_EQ(result, 0) << "step " << finished << " failed by itself";
      ++finished;
    }
    close(done[0]);
    return finished;
  }

  // What the archive and the sources show after `finished` steps, with the
  // next one perhaps half done.
  void Check(int finished) {
    Listing listing;
    try {
      listing = ListWithEngine(arc);
    } catch (const std::exception& e) {
      FAIL() << "the archive no longer opens: " << e.what();
    }
    std::map<std::string, cfb::testing::Listed> streams;
    for (const auto& item : listing)
      if (item.kind == 'f') streams.emplace(item.path, item);
    for (int i = 0; i < kSteps; ++i) {
      const std::string name = SourceName(i);
      const bool source = fs::exists(src / name);
      auto stored = streams.find(name);
      if (stored != streams.end()) {
        const std::string content = SourceContent(i);
        EXPECT_EQ(stored->second.size, content.size()) << name;
        EXPECT_EQ(
            stored->second.crc,
            cfb::testing::Crc32(reinterpret_cast<const uint8_t*>(content.data()), content.size()))
            << name;
      }
      const bool held = stored != streams.end();
      const bool deleted = DeletedAt(i) < finished;
      const bool deleting = DeletedAt(i) == finished;
      EXPECT_TRUE(i <= finished || source) << name << " moved before its step";
      EXPECT_TRUE(i >= finished || !source) << name << " stayed after its step";
      EXPECT_TRUE(!deleted || !held) << name << " outlived its delete";
      EXPECT_TRUE(deleted || deleting || source || held) << name << " was lost";
    }
    EXPECT_EQ(streams.count("keep"), 1u);
  }

  std::string arc;
  TempDir src;
};

// CFB_KILL_SEEDS=n kills n hosts instead of the few CI runs.
int KillCount() {
  const char* env = getenv("CFB_KILL_SEEDS");
  return env ? atoi(env) : 12;
}

TEST_F(HostKill, KilledHostNeverLosesAMovedFile) {
  // How long the whole script takes here: kills land anywhere in it.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunHost(std::chrono::microseconds(-1)), kSteps);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  Check(kSteps);
  const std::string base = ReadFile(arc);
  std::mt19937 rng(2024);
  for (int kill = 0; kill < KillCount() && !HasFailure(); ++kill) {
    {
      CompoundBuilder file(arc);
      file.Stream(u"keep", "kept");
    }
    fs::remove_all(src.path());
    fs::create_directory(src.path());
    const int finished = RunHost(std::chrono::microseconds(rng() % (span.count() + 1)));
    Check(finished);
    if (kill % 4 == 0) {
      // A host killed in the middle of a commit may leave unused space at the end.
      EXPECT_EQ(cfb::testing::ReaderComplaints({arc}, cfb::testing::UnusedTail::kAllowed), "");
      const Listing olefile = cfb::testing::ListWithOlefile(arc);
      EXPECT_EQ(olefile, ListWithEngine(arc)) << "after kill " << kill;
    }
    if (HasFailure()) ADD_FAILURE() << "kill " << kill << " after " << finished << " steps";
  }
}

}  // namespace
}  // namespace storage_plugin
