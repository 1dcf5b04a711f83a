// The plug-in over an engine whose file layer fails on a schedule: every
// read, write, sync and truncate that packing a new file, replacing a
// stream, deleting a storage and deleting most of the archive (which then
// is compacted through a copy) reach fails in turn, once or for good (a
// disk that stays full). Either the call reports an error, the archive keeps
// its earlier content for the engine and for olefile and the moved source
// stays; or the call succeeds and all of it happened. No descriptor and no
// node is left behind.
#include <functional>

#include "io_fault_schedule.h"
#include "model.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::IoOp;
using cfb::testing::Listing;
using cfb::testing::ListWithEngine;

constexpr IoOp kOps[] = {IoOp::kRead, IoOp::kWrite, IoOp::kSync, IoOp::kResize};

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// The schedule inside the loaded plug-in.
class ModuleSchedule {
 public:
  explicit ModuleSchedule(const Plugin& plugin)
      : arm_(Bind<decltype(&IoFaultsArm)>(plugin, "IoFaultsArm")),
        count_(Bind<decltype(&IoFaultsCount)>(plugin, "IoFaultsCount")),
        fired_(Bind<decltype(&IoFaultsFired)>(plugin, "IoFaultsFired")) {}
  void Reset() const { arm_(IoOp::kRead, 0, false); }
  void Arm(IoOp op, uint64_t n, bool from_then_on) const { arm_(op, n, from_then_on); }
  uint64_t Count(IoOp op) const { return count_(op); }
  bool Fired() const { return fired_(); }

 private:
  template <class F>
  static F Bind(const Plugin& plugin, const char* name) {
    auto function = reinterpret_cast<F>(plugin.Symbol(name));
    if (!function) throw std::runtime_error(std::string("no ") + name + " in the plug-in");
    return function;
  }
  decltype(&IoFaultsArm) arm_;
  decltype(&IoFaultsCount) count_;
  decltype(&IoFaultsFired) fired_;
};

struct Operation {
  const char* what;
  std::string source;  // the file it moves into the archive, if any
  std::function<int32_t()> call;
};

using HostFaults = StoragePlugin;

TEST_F(HostFaults, EveryFailureKeepsTheArchiveAndTheMovedSource) {
  const std::string arc = dir / "a.doc";
  {
    CompoundBuilder file(arc);
    file.Stream(u"keep", "kept");
    file.Stream(u"a", std::string(5000, 'a'));
    file.Stream(u"dir/b", "small");
    file.Stream(u"dir/sub/c", std::string(6000, 'c'));
    file.Stream(u"big", std::string(3 << 20, 'g'));
  }
  const std::string base = ReadFile(arc);
  const Listing before = ListWithEngine(arc);
  TempDir src;
  const Operation operations[] = {
      {"pack", "newdir/new.bin",
       [&] { return Pack(arc, nullptr, src.Slash(), {"newdir/new.bin"}, PK_PACK_MOVE_FILES); }},
      {"replace", "a", [&] { return Pack(arc, nullptr, src.Slash(), {"a"}, PK_PACK_MOVE_FILES); }},
      {"delete", "", [&] { return Delete(arc, {"dir/*.*"}); }},
      {"delete and compact", "", [&] { return Delete(arc, {"big"}); }},
  };
  const ModuleSchedule schedule(*plugin);
  std::vector<std::string> outcomes;
  std::vector<Listing> expected;
  for (const Operation& operation : operations) {
    auto prepare = [&] {
      std::ofstream(arc, std::ios::binary | std::ios::trunc) << base;
      if (!operation.source.empty())
        src.Write(operation.source, std::string(operation.source == "a" ? 70000 : 200000, 'n'));
    };
    prepare();
    schedule.Reset();
    ASSERT_EQ(operation.call(), 0) << operation.what;
    uint64_t counts[4];
    for (IoOp op : kOps) counts[static_cast<int>(op)] = schedule.Count(op);
    const Listing after = ListWithEngine(arc);

    size_t injected = 0, failed = 0;
    for (IoOp op : kOps) {
      for (uint64_t n = 1; n <= counts[static_cast<int>(op)]; ++n) {
        for (bool from_then_on : {false, true}) {
          const std::string where = std::string(operation.what) + ": op " +
                                    std::to_string(static_cast<int>(op)) + " n " +
                                    std::to_string(n) + (from_then_on ? " for good" : " once");
          prepare();
          const size_t descriptors = OpenDescriptors();
          schedule.Arm(op, n, from_then_on);
          const int32_t result = operation.call();
          EXPECT_TRUE(schedule.Fired()) << where;
          schedule.Reset();
          ++injected;
          failed += result != 0;
          EXPECT_EQ(OpenDescriptors(), descriptors) << where;
          if (!operation.source.empty()) {
            EXPECT_EQ(fs::exists(src / operation.source), result != 0)
                << where << ": result " << result;
          }
          try {
            EXPECT_EQ(ListWithEngine(arc), result != 0 ? before : after)
                << where << ": result " << result;
          } catch (const std::exception& e) {
            ADD_FAILURE() << where << ": the archive no longer opens: " << e.what();
          }
          if (HasFailure()) FAIL() << where;
          outcomes.push_back(dir / ("outcome" + std::to_string(outcomes.size())));
          fs::copy_file(arc, outcomes.back());
          expected.push_back(result != 0 ? before : after);
        }
      }
    }
    std::printf("%s: %zu faults injected, %zu reported, %zu after the commit point\n",
                operation.what, injected, failed, injected - failed);
  }
  EXPECT_EQ(cfb::testing::ReaderComplaints(outcomes, cfb::testing::UnusedTail::kAllowed), "");
  const std::vector<Listing> listed = cfb::testing::ListWithOlefile(outcomes);
  for (size_t i = 0; i < outcomes.size(); ++i) EXPECT_EQ(listed[i], expected[i]) << outcomes[i];
}

}  // namespace
}  // namespace storage_plugin
