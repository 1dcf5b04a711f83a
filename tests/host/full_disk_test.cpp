// A real full disk: a small tmpfs, mounted in a child process of its own,
// filled so that every page the plug-in could still write is the last one.
// Packing a moved file and deleting a storage either report an error with
// the archive as it was and the source in place, or succeed with all of it
// done; the archive always opens, for the engine and for olefile.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <functional>

#include "child_process.h"
#include "model.h"
#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using cfb::testing::Listing;
using cfb::testing::ListWithEngine;

constexpr int kNoMount = 77;

bool WriteText(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

// Runs body in a child process in which a tmpfs of the given size is
// mounted at mountPoint, seen by nobody else; its exit status, or kNoMount
// when the system allows no such mount.
int WithSmallDisk(const std::string& mountPoint, uint64_t size, const std::function<int()>& body) {
  return testing_support::RunInChild([&] {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (uid == 0 ? unshare(CLONE_NEWNS) != 0 : unshare(CLONE_NEWNS | CLONE_NEWUSER) != 0)
      return kNoMount;
    if (uid != 0 && !(WriteText("/proc/self/setgroups", "deny") &&
                      WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                      WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")))
      return kNoMount;
    const std::string options = "size=" + std::to_string(size);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0)
      return kNoMount;
    return body();
  });
}

uint64_t FreeBytes(const std::string& path) {
  struct statvfs st;
  statvfs(path.c_str(), &st);
  return uint64_t{st.f_bavail} * st.f_frsize;
}

// Takes all the free space of the disk but the given bytes.
void LeaveFree(const std::string& filler, uint64_t bytes) {
  fs::remove(filler);
  const uint64_t available = FreeBytes(fs::path(filler).parent_path());
  const int fd = open(filler.c_str(), O_CREAT | O_WRONLY, 0644);
  if (available > bytes) posix_fallocate(fd, 0, static_cast<off_t>(available - bytes));
  close(fd);
}

using FullDisk = StoragePlugin;

TEST_F(FullDisk, EveryPageFewerLosesNothing) {
  const std::string disk = dir / "disk";
  fs::create_directory(disk);
  TempDir src;
  const int status = WithSmallDisk(disk, 2 << 20, [&] {
    const std::string arc = disk + "/a.doc";
    {
      CompoundBuilder file(arc);
      file.Stream(u"keep", "kept");
      file.Stream(u"dir/b", std::string(3000, 'b'));
      file.Stream(u"dir/sub/c", std::string(60000, 'c'));
    }
    const std::string base = ReadFile(arc);
    const Listing before = ListWithEngine(arc);
    struct Step {
      const char* what;
      std::function<int32_t()> call;
      bool moves;
    };
    const Step steps[] = {
        {"pack", [&] { return Pack(arc, nullptr, src.Slash(), {"big.bin"}, PK_PACK_MOVE_FILES); },
         true},
        {"delete", [&] { return Delete(arc, {"dir/*.*"}); }, false},
    };
    int failures = 0;
    for (const Step& step : steps) {
      auto prepare = [&](uint64_t free) {
        fs::remove(disk + "/filler");
        std::ofstream(arc, std::ios::binary | std::ios::trunc) << base;
        src.Write("big.bin", std::string(300000, 'x'));
        LeaveFree(disk + "/filler", free);
      };
      prepare(1 << 20);
      if (step.call() != 0) return 1;
      const Listing after = ListWithEngine(arc);
      size_t refused = 0, done = 0;
      std::vector<std::string> copies;
      std::vector<Listing> expected;
      for (uint64_t free = 0; free <= 400 << 10; free += 4096) {
        prepare(free);
        const int32_t result = step.call();
        (result == 0 ? done : refused)++;
        const Listing now = ListWithEngine(arc);
        const bool kept = fs::exists(src / "big.bin");
        if (now != (result == 0 ? after : before) || (step.moves && kept != (result != 0))) {
          std::fprintf(stderr, "%s with %llu bytes free: result %d, source %s\n", step.what,
                       static_cast<unsigned long long>(free), result, kept ? "kept" : "gone");
          ++failures;
        }
        copies.push_back(src / (step.what + std::to_string(copies.size())));
        fs::copy_file(arc, copies.back());
        expected.push_back(now);
        if (result == 0) break;  // every larger disk is fine too
      }
      const std::string complaints =
          cfb::testing::ReaderComplaints(copies, cfb::testing::UnusedTail::kAllowed);
      if (!complaints.empty()) {
        std::fprintf(stderr, "%s: readers refuse what was left:\n%s", step.what, complaints.c_str());
        ++failures;
      }
      const std::vector<Listing> listed = cfb::testing::ListWithOlefile(copies);
      for (size_t i = 0; i < copies.size(); ++i) {
        if (listed[i] == expected[i]) continue;
        std::fprintf(stderr, "%s: olefile reads %s otherwise\n", step.what, copies[i].c_str());
        ++failures;
      }
      std::printf("%s: %zu sizes of free space refused, then done\n", step.what, refused);
    }
    return failures == 0 ? 0 : 1;
  });
  if (status == kNoMount) GTEST_SKIP() << "no tmpfs can be mounted here";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace storage_plugin
