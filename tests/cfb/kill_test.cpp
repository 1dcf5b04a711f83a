// A writer killed at random moments leaves a file that opens and holds
// exactly the state of one of its commits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "model.h"
#include "reader_checks.h"
#include "test_files.h"

namespace cfb::testing {
namespace {

// Each commit records its number as the size of this stream.
const Path kGenerationStream = {u"\x01generation"};

// The writer's script: random operations, a commit every few of them.
// Calls visit(op) for each operation in order.
template <class Visit>
void Script(uint32_t seed, int steps, Visit&& visit, Model& model) {
  OpGenerator ops(seed, 1 << 20);
  std::mt19937 rng(seed);
  uint64_t generation = 0;
  for (int step = 0; step < steps; ++step) {
    const Op op = ops.Next(model);
    if (!visit(op, model.Apply(op))) return;
    if (rng() % 6 == 0) {
      Op mark{Op::Kind::kResize, kGenerationStream, {}, ++generation, 0, 0};
      model.Apply(mark);
      if (!visit(mark, true)) return;
      if (!visit(Op{Op::Kind::kCommit, {}, {}, generation, 0, 0}, true)) return;
    }
  }
}

[[noreturn]] void RunWriter(const std::string& path, uint32_t seed, int steps) {
  try {
    auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
    Model model;
    model.Apply({Op::Kind::kCreateStream, {}, kGenerationStream[0], 0, 0, 0});
    Script(
        seed, steps,
        [&](const Op& op, bool) {
          ApplyToEngine(op, *file);
          return true;
        },
        model);
  } catch (...) {
    _exit(1);
  }
  _exit(0);
}

// Leaves a copy of what the killed writer left in survivors.
void KillAndCheck(Version version, uint32_t seed, const TempDir& survivors) {
  TempDir dir;
  const std::string path = dir.File("victim.cfb");
  {
    auto file = CompoundFile::Create(path, false, version);
    file->CreateElement(kRootId, kGenerationStream[0], EntryType::kStream);
    file->Commit();
  }
  constexpr int kSteps = 400;
  std::mt19937 rng(seed * 7919);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) RunWriter(path, seed, kSteps);
  std::this_thread::sleep_for(std::chrono::microseconds(rng() % 150000));
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the writer failed by itself";

  auto file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  const uint32_t marker = file->Find(kRootId, kGenerationStream[0]);
  ASSERT_NE(marker, kNoStream);
  const uint64_t generation = file->Entry(marker).size();
  // Replay the script up to that commit.
  Model model;
  model.Apply({Op::Kind::kCreateStream, {}, kGenerationStream[0], 0, 0, 0});
  if (generation > 0) {
    Script(
        seed, kSteps,
        [&](const Op& op, bool) {
          return !(op.kind == Op::Kind::kCommit && op.offset == generation);
        },
        model);
  }
  ExpectSameContent(*file, model);
  std::filesystem::copy_file(path, survivors.File("seed" + std::to_string(seed) + ".cfb"));
  if (seed % 10 == 0 && RunCommand("/usr/bin/python3 -c 'import olefile' 2>&1").status == 0) {
    file.reset();
    EXPECT_EQ(ListWithOlefile(path), model.Listed());
  }
}

// CFB_KILL_SEEDS=n kills n writers instead of the few CI runs.
uint32_t SeedCount() {
  const char* env = getenv("CFB_KILL_SEEDS");
  return env ? static_cast<uint32_t>(atoi(env)) : 40;
}

TEST(KillTest, KilledWriterLeavesACommittedState) {
  TempDir survivors;
  std::vector<std::string> files;
  for (uint32_t seed = 1; seed <= SeedCount() && !HasFailure(); ++seed) {
    KillAndCheck(seed % 4 == 0 ? Version::k4 : Version::k3, seed, survivors);
    if (HasFailure()) ADD_FAILURE() << "seed " << seed;
    files.push_back(survivors.File("seed" + std::to_string(seed) + ".cfb"));
  }
  if (!HasFailure()) {
    EXPECT_EQ(ReaderComplaints(files, UnusedTail::kAllowed), "");
  }
}

}  // namespace
}  // namespace cfb::testing
