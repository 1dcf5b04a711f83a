// Every read, write, sync and truncate that a batch of changes and its
// commit reach fails in turn, once or for good (a disk that stays full):
// the engine reports it, the file opens with the last committed state (for
// olefile too), no descriptor stays open, and after a passing failure the
// same object goes on from that state.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "cfb/error.h"
#include "io_fault_schedule.h"
#include "model.h"
#include "reader_checks.h"
#include "test_files.h"

namespace cfb::testing {
namespace {

namespace fs = std::filesystem;

constexpr IoOp kOps[] = {IoOp::kRead, IoOp::kWrite, IoOp::kSync, IoOp::kResize};

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

std::string Slurp(const std::string& path) {
  return testing_support::ReadFile(path);
}

void Spill(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// kCrowded adds a storage of many streams, whose directory pages a change
// in its middle rewrites only in part; kSmallStreams adds to the changes
// hundreds of small streams, whose writes the file layer gathers, so that a
// failure meets a write of many of them together.
enum class Crowd { kNone, kCrowded, kSmallStreams };

// A committed file, the changes that follow it and their commit.
class Scenario {
 public:
  Scenario(const std::string& path, Version version, uint32_t seed, Crowd crowd = Crowd::kNone)
      : path_(path) {
    OpGenerator ops(seed, 20000);
    auto file = CompoundFile::Create(path, false, version);
    const Path crowded = {u"\x01" u"crowd"};
    const auto member = [&](int i) { return u"\x01m" + Utf16(std::to_string(i)); };
    if (crowd == Crowd::kCrowded) {
      Apply(Op{Op::Kind::kCreateStorage, {}, crowded[0], 0, 0, 0}, committed_, *file);
      for (int i = 0; i < 800; ++i)
        Apply(Op{Op::Kind::kCreateStream, crowded, member(i), 0, 0, 0}, committed_, *file);
    }
    for (int i = 0; i < 15; ++i) Apply(ops.Next(committed_), committed_, *file);
    file->Commit();
    file.reset();
    base_ = Slurp(path);
    changed_ = committed_;
    for (int i = 0; i < 8; ++i) {
      const Op op = ops.Next(changed_);
      if (changed_.Apply(op)) batch_.push_back(op);
    }
    if (crowd == Crowd::kCrowded) {
      Path gone = crowded;
      gone.push_back(member(400));
      for (const Op& op : {Op{Op::Kind::kDestroy, gone, {}, 0, 0, 0},
                           Op{Op::Kind::kCreateStream, crowded, u"\x01new", 0, 0, 0},
                           Op{Op::Kind::kWrite, {crowded[0], u"\x01new"}, {}, 0, 10240, seed}})
        if (changed_.Apply(op)) batch_.push_back(op);
    }
    if (crowd == Crowd::kSmallStreams) {
      // Mini streams and regular ones by turns, 1.5 MB in all: more than
      // the file layer holds at once.
      for (int i = 0; i < 300; ++i) {
        const std::u16string name = u"\x01s" + Utf16(std::to_string(i));
        const uint64_t length = i % 2 ? 100 + 37 * i : 4096 + 53 * i;
        for (const Op& op : {Op{Op::Kind::kCreateStream, {}, name, 0, 0, 0},
                             Op{Op::Kind::kWrite, {name}, {}, 0, length, seed + i}})
          if (changed_.Apply(op)) batch_.push_back(op);
      }
    }
  }

  // Puts the committed file back in place.
  void Restore() const { Spill(path_, base_); }
  // Opens the file and makes the changes; throws what the engine throws.
  // The object stays in file (null when the open failed).
  void Change(std::unique_ptr<CompoundFile>& file) const {
    file = CompoundFile::Open(path_, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
    for (const Op& op : batch_) ApplyToEngine(op, *file);
    file->Commit();
  }
  const Model& committed() const { return committed_; }
  const Model& changed() const { return changed_; }

 private:
  static void Apply(const Op& op, Model& model, CompoundFile& file) {
    if (model.Apply(op)) ApplyToEngine(op, file);
  }

  std::string path_;
  std::string base_;
  Model committed_;
  Model changed_;
  std::vector<Op> batch_;
};

struct Outcome {
  std::string file;  // a copy of the file as the failure left it
  Listing expected;
};

void RunEveryFault(Version version, uint32_t seed, Crowd crowd = Crowd::kNone) {
  TempDir dir;
  const std::string path = dir.File("faults.cfb");
  const Scenario scenario(path, version, seed, crowd);
  std::unique_ptr<CompoundFile> file;

  scenario.Restore();
  IoFaultsReset();
  scenario.Change(file);
  file.reset();
  uint64_t counts[4];
  for (IoOp op : kOps) counts[static_cast<int>(op)] = IoFaultsCount(op);

  std::vector<Outcome> outcomes;
  size_t injected = 0;
  size_t committed_anyway = 0;
  for (IoOp op : kOps) {
    for (uint64_t n = 1; n <= counts[static_cast<int>(op)]; ++n) {
      for (bool from_then_on : {false, true}) {
        const std::string where = "op " + std::to_string(static_cast<int>(op)) + " n " +
                                  std::to_string(n) + (from_then_on ? " for good" : " once");
        scenario.Restore();
        const size_t descriptors = OpenDescriptors();
        IoFaultsArm(op, n, from_then_on);
        bool failed = false;
        try {
          scenario.Change(file);
        } catch (const Error&) {
          failed = true;
        }
        EXPECT_TRUE(IoFaultsFired()) << where;
        IoFaultsReset();
        ++injected;
        committed_anyway += !failed;
        // Unreported only when the changes reached the file: after the commit
        // point, tidying up may fail harmlessly.
        // A failed change leaves what came before it uncommitted, and a
        // failed commit leaves none: either way the object reverts to the
        // committed state and goes on from it.
        if (file && failed && !from_then_on) {
          file->Revert();
          ExpectSameContent(*file, scenario.committed());
          Model next = scenario.committed();
          const Op more{Op::Kind::kCreateStream, {}, u"\x01more", 0, 0, 0};
          next.Apply(more);
          ApplyToEngine(more, *file);
          file->Commit();
          file.reset();
          auto reopened = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
          ExpectSameContent(*reopened, next);
          if (::testing::Test::HasFailure()) FAIL() << where;
          continue;
        }
        file.reset();
        EXPECT_EQ(OpenDescriptors(), descriptors) << where;
        const Model& expected = failed ? scenario.committed() : scenario.changed();
        try {
          auto reopened = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
          ExpectSameContent(*reopened, expected);
        } catch (const Error& e) {
          ADD_FAILURE() << where << ": the file no longer opens: " << e.what();
        }
        if (::testing::Test::HasFailure()) FAIL() << where;
        outcomes.push_back(
            {dir.File("outcome" + std::to_string(outcomes.size())), expected.Listed()});
        fs::copy_file(path, outcomes.back().file);
      }
    }
  }
  std::vector<std::string> files;
  for (const Outcome& o : outcomes) files.push_back(o.file);
  EXPECT_EQ(ReaderComplaints(files, UnusedTail::kAllowed), "");
  const std::vector<Listing> listed = ListWithOlefile(files);
  for (size_t i = 0; i < outcomes.size(); ++i)
    EXPECT_EQ(listed[i], outcomes[i].expected) << outcomes[i].file;
  std::printf("%s seed %u: %zu faults injected, %zu left the committed state, %zu the new one\n",
              version == Version::k3 ? "v3" : "v4", seed, injected, injected - committed_anyway,
              committed_anyway);
}

TEST(IoFaults, EveryFailureOfACommitLeavesTheCommittedState) {
  for (uint32_t seed = 1; seed <= 6; ++seed)
    for (Version version : {Version::k3, Version::k4})
      if (!HasFailure()) RunEveryFault(version, seed);
}

TEST(IoFaults, EveryFailureOfAPartialDirectoryRewriteLeavesOneState) {
  for (uint32_t seed = 1; seed <= 2; ++seed)
    for (Version version : {Version::k3, Version::k4})
      if (!HasFailure()) RunEveryFault(version, seed, Crowd::kCrowded);
}

TEST(IoFaults, EveryFailureAmongGatheredSmallWritesLeavesOneState) {
  for (Version version : {Version::k3, Version::k4})
    if (!HasFailure()) RunEveryFault(version, 1, Crowd::kSmallStreams);
}

// The write that fails on its way out is an earlier stream's, held until a
// later stream's write made room: the later write reports the failure, and
// the earlier stream, whose write succeeded, still reaches the file whole
// with the next commit.
TEST(IoFaults, AHeldWriteThatFailsGoesOutWithTheNextCommit) {
  TempDir dir;
  const std::string path = dir.File("held.cfb");
  auto file = CompoundFile::Create(path, false);
  std::vector<std::vector<uint8_t>> written;
  IoFaultsArm(IoOp::kWrite, 1, false);
  for (uint32_t i = 0;; ++i) {
    ASSERT_LT(i, 1000u) << "no write reached the file";
    const uint32_t id = file->CreateElement(kRootId, Utf16("s" + std::to_string(i)),
                                            EntryType::kStream);
    std::vector<uint8_t> bytes = Pattern(i % 2 ? 3000 : 7000, i);
    try {
      file->Write(id, 0, bytes.data(), bytes.size());
    } catch (const Error&) {
      ASSERT_GT(i, 0u) << "the first write went out at once";
      file->DestroyElement(id);
      break;
    }
    written.push_back(std::move(bytes));
  }
  EXPECT_TRUE(IoFaultsFired());
  IoFaultsReset();
  file->Commit();
  file.reset();
  auto reopened = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  EXPECT_EQ(reopened->Children(kRootId).size(), written.size());
  for (uint32_t i = 0; i < written.size(); ++i) {
    const uint32_t id = reopened->Find(kRootId, Utf16("s" + std::to_string(i)));
    ASSERT_NE(id, kNoStream) << i;
    std::vector<uint8_t> back(written[i].size() + 1);
    ASSERT_EQ(reopened->Read(id, 0, back.data(), back.size()), written[i].size()) << i;
    back.pop_back();
    EXPECT_EQ(back, written[i]) << "stream " << i;
  }
  EXPECT_EQ(ReaderComplaints(path), "");
}

}  // namespace
}  // namespace cfb::testing
