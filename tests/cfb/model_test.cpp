// A long seeded sequence of random operations, checked against an in-memory
// model after every reopen; what each reopen found, and the final file, are
// judged by readers we do not own.
#include "model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "reader_checks.h"
#include "test_files.h"

namespace cfb::testing {
namespace {

void RunModel(Version version, uint32_t seed, int steps) {
  TempDir dir;
  const std::string path = dir.File("model.cfb");
  Model model;
  OpGenerator ops(seed);
  auto file = CompoundFile::Create(path, false, version);
  std::vector<std::string> committed;
  for (int step = 0; step < steps; ++step) {
    if (step % 50 == 49) {  // reopen: only what was committed counts
      file->Commit();
      file.reset();
      committed.push_back(dir.File("step" + std::to_string(step) + ".cfb"));
      std::filesystem::copy_file(path, committed.back());
      file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
      ExpectSameContent(*file, model);
      if (::testing::Test::HasFailure()) FAIL() << "seed " << seed << " step " << step;
      continue;
    }
    const Op op = ops.Next(model);
    if (getenv("CFB_MODEL_TRACE")) {
      std::string where;
      for (const auto& n : op.path) where += "/" + Utf8(n);
      fprintf(stderr, "%d: kind=%d %s name=%s off=%llu len=%llu\n", step, static_cast<int>(op.kind),
              where.c_str(), Utf8(op.name).c_str(), static_cast<unsigned long long>(op.offset),
              static_cast<unsigned long long>(op.length));
    }
    const bool model_ok = model.Apply(op);
    const bool engine_ok = ApplyToEngine(op, *file);
    ASSERT_EQ(model_ok, engine_ok) << "seed " << seed << " step " << step;
  }
  file->Commit();
  file.reset();
  committed.push_back(path);
  EXPECT_EQ(ReaderComplaints(committed), "") << "seed " << seed;
  const CommandResult olefile = RunCommand("/usr/bin/python3 -c 'import olefile' 2>&1");
  if (olefile.status == 0) {
    EXPECT_EQ(ListWithOlefile(path), model.Listed()) << "seed " << seed;
  }
}

// CFB_MODEL_SEEDS=n runs n seeds per version instead of the few CI runs.
uint32_t SeedCount(uint32_t fallback) {
  const char* env = getenv("CFB_MODEL_SEEDS");
  return env ? static_cast<uint32_t>(atoi(env)) : fallback;
}

TEST(ModelTest, RandomOperationsVersion3) {
  for (uint32_t seed = 1; seed <= SeedCount(4) && !HasFailure(); ++seed)
    RunModel(Version::k3, seed, 600);
}

TEST(ModelTest, RandomOperationsVersion4) {
  for (uint32_t seed = 1001; seed <= 1000 + SeedCount(2) && !HasFailure(); ++seed)
    RunModel(Version::k4, seed, 600);
}

}  // namespace
}  // namespace cfb::testing
