// Opens arbitrary bytes as a compound file, walks every storage and reads
// every stream; then changes the file, commits and opens it again. Any
// crash, sanitizer report, hang or runaway allocation is a finding, and so
// is a file that no longer opens after the commit or a stream that changed
// although the commit did not touch it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cfb/compound_file.h"
#include "cfb/error.h"

namespace {

constexpr uint64_t kReadLimit = 1 << 16;  // bytes kept per stream
constexpr size_t kStreamLimit = 200;      // streams kept per file

using Path = std::vector<std::u16string>;
// The readable streams: their path and their first bytes; several for a
// path that several siblings bear (damaged files), in no particular order.
using Contents = std::map<Path, std::multiset<std::vector<uint8_t>>>;
// Per path, the streams that could not be read.
using Unreadable = std::map<Path, size_t>;

// The first streams found, or with only set, the streams of those paths.
Contents Walk(cfb::CompoundFile& file, const Contents* only = nullptr,
              Unreadable* unreadable = nullptr) {
  Contents contents;
  std::vector<std::pair<uint32_t, Path>> storages{{cfb::kRootId, {}}};
  while (!storages.empty()) {
    const auto [storage, path] = storages.back();
    storages.pop_back();
    for (uint32_t id : file.Children(storage)) {
      const cfb::EntryView e = file.Entry(id);
      Path child = path;
      child.emplace_back(e.name());
      if (e.is_storage()) {
        storages.emplace_back(id, child);
        continue;
      }
      std::vector<uint8_t> bytes(std::min<uint64_t>(e.size(), kReadLimit));
      try {
        file.Read(id, 0, bytes.data(), bytes.size());
      } catch (const cfb::Error&) {
        if (unreadable) ++(*unreadable)[child];
        continue;
      }
      const bool keep = only ? only->count(child) != 0
                             : contents.count(child) != 0 || contents.size() < kStreamLimit;
      if (keep) contents[child].insert(std::move(bytes));
    }
  }
  return contents;
}

// Destroys the root's first child and adds a stream; returns the destroyed name.
std::u16string Change(cfb::CompoundFile& file) {
  std::u16string destroyed;
  const std::vector<uint32_t> children = file.Children(cfb::kRootId);
  if (!children.empty()) {
    destroyed = file.Entry(children.front()).name();
    file.DestroyElement(children.front());
  }
  const uint32_t id = file.CreateElement(cfb::kRootId, u"\x01fuzz", cfb::EntryType::kStream);
  const std::vector<uint8_t> bytes(5000, 0x5A);
  file.Write(id, 0, bytes.data(), bytes.size());
  file.Resize(id, 100);
  file.Commit();
  return destroyed;
}

void Check(const std::string& path) {
  Contents before;
  Unreadable unreadable;
  std::u16string destroyed;
  bool opened = false;
  bool changed = false;
  try {
    auto file =
        cfb::CompoundFile::Open(path, cfb::CompoundFile::Access::kReadWrite, cfb::ShareLock::kNone);
    opened = true;
    before = Walk(*file, nullptr, &unreadable);
    destroyed = Change(*file);
    changed = true;
  } catch (const cfb::Error&) {
    // Refused, or the change failed: then the file holds its last committed
    // state, which must open as well as before.
  }
  std::unique_ptr<cfb::CompoundFile> file;
  try {
    file = cfb::CompoundFile::Open(path, cfb::CompoundFile::Access::kRead, cfb::ShareLock::kNone);
  } catch (const cfb::Error&) {
    if (opened) abort();  // the engine left a file it cannot open
    return;
  }
  const Contents after = Walk(*file, &before);
  if (!changed) return;
  for (const auto& [stream, bytes] : before) {
    if (stream.front() == destroyed) continue;
    auto it = after.find(stream);
    if (it == after.end()) abort();  // an untouched stream was lost
    // A twin refused before, for sharing sectors with a damaged stream the
    // change destroyed, may read now; every stream read before must be
    // there unchanged.
    if (!std::includes(it->second.begin(), it->second.end(), bytes.begin(), bytes.end()) ||
        it->second.size() > bytes.size() + unreadable[stream])
      abort();  // an untouched stream changed
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("cfb", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) == static_cast<ssize_t>(size))
    Check("/proc/self/fd/" + std::to_string(fd));
  close(fd);
  return 0;
}
