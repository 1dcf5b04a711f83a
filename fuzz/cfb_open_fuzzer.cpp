// Opens arbitrary bytes as a compound file, walks every storage and reads
// every stream; then changes the file, commits and walks it again. Any crash,
// sanitizer report, hang or runaway allocation is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cfb/compound_file.h"
#include "cfb/error.h"

namespace {

constexpr uint64_t kReadLimit = 1 << 20;  // per stream

void Walk(cfb::CompoundFile& file) {
  std::vector<uint32_t> storages{cfb::kRootId};
  std::vector<uint8_t> buffer(65536);
  while (!storages.empty()) {
    const uint32_t storage = storages.back();
    storages.pop_back();
    for (uint32_t id : file.Children(storage)) {
      const cfb::DirEntry& e = file.Entry(id);
      if (e.is_storage()) {
        storages.push_back(id);
        continue;
      }
      try {
        for (uint64_t pos = 0; pos < kReadLimit;) {
          const uint64_t got = file.Read(id, pos, buffer.data(), buffer.size());
          if (got == 0) break;
          pos += got;
        }
      } catch (const cfb::Error&) {
      }
    }
  }
}

void Change(cfb::CompoundFile& file) {
  const std::vector<uint32_t> children = file.Children(cfb::kRootId);
  if (!children.empty()) file.DestroyElement(children.front());
  const uint32_t id = file.CreateElement(cfb::kRootId, u"\x01fuzz", cfb::EntryType::kStream);
  const std::vector<uint8_t> bytes(5000, 0x5A);
  file.Write(id, 0, bytes.data(), bytes.size());
  file.Resize(id, 100);
  file.Commit();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("cfb", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    auto file = cfb::CompoundFile::Open(path, cfb::CompoundFile::Access::kReadWrite,
                                        cfb::ShareLock::kNone);
    Walk(*file);
    Change(*file);
    file.reset();
    file = cfb::CompoundFile::Open(path, cfb::CompoundFile::Access::kRead, cfb::ShareLock::kNone);
    Walk(*file);
  } catch (const cfb::Error&) {
  }
  close(fd);
  return 0;
}
