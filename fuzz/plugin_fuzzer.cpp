// Hands arbitrary bytes to the plug-in the way a file manager hands it a
// file from mail or the web: through its exports, with the calls a host
// makes. The bytes are listed, tested and extracted into a scratch folder;
// then a small file is packed (moved) into one copy and an entry deleted
// from another. Besides crashes, sanitizer reports, hangs and runaway
// allocations, these are findings:
// - a listed path that is absolute or climbs out of the destination;
// - listing or extracting that changes the archive;
// - a pack reported as done whose file the archive does not hold, or whose
//   moved source is still there; a failed pack whose source is gone;
// - a failed pack or delete that changed what the archive lists;
// - a successful one after which the archive no longer lists to its end.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin_loader.h"

namespace {

namespace fs = std::filesystem;
using namespace wcx;

constexpr char kPacked[] = "qorfuzz.bin";
constexpr size_t kEntryLimit = 2000;  // entries processed per listing

testing_support::Plugin* gPlugin = nullptr;
fs::path gScratch;

[[noreturn]] void Finding(const char* what) {
  fprintf(stderr, "finding: %s\n", what);
  abort();
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

int32_t WCX_API KeepGoing(char*, int32_t) {
  return 1;
}

struct Entry {
  std::string path;
  bool folder;
  uint64_t size;
  bool operator==(const Entry&) const = default;
};

struct Listing {
  std::vector<Entry> entries;
  int32_t end = 0;
  bool operator==(const Listing&) const = default;
};

// Stays inside any folder it is joined onto.
bool IsContained(const std::string& path) {
  if (path.empty() || path.front() == '/') return false;
  int depth = 0;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = std::min(path.find('/', start), path.size());
    const std::string_view part(path.data() + start, slash - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = slash + 1;
  }
  return true;
}

// Every header, each followed by the ProcessFile a host sends: in extract
// mode files are extracted, tested or skipped in turn and folders skipped.
Listing Walk(const std::string& archive, int32_t mode) {
  Listing listing;
  HANDLE handle = gPlugin->Open(archive, mode);
  if (!handle) {
    listing.end = E_EOPEN;
    return listing;
  }
  gPlugin->SetProcessDataProc(handle, KeepGoing);
  const fs::path out = gScratch / "out";
  for (size_t i = 0; i < kEntryLimit; ++i) {
    tHeaderDataEx header;
    listing.end = gPlugin->ReadHeaderEx(handle, &header);
    if (listing.end != 0) break;
    const std::string path(header.FileName, strnlen(header.FileName, sizeof header.FileName));
    if (!IsContained(path)) Finding("a listed path leaves the destination");
    const bool folder = (header.FileAttr & 0x4000) != 0;
    listing.entries.push_back({path, folder, uint64_t{header.UnpSizeHigh} << 32 | header.UnpSize});
    int32_t operation = PK_SKIP;
    if (mode == PK_OM_EXTRACT && !folder) operation = static_cast<int32_t>(i % 3);
    std::string target = (out / std::to_string(i)).string();
    gPlugin->ProcessFile(handle, operation, nullptr, target.data());
  }
  gPlugin->CloseArchive(handle);
  fs::remove_all(out);
  fs::create_directory(out);
  return listing;
}

bool Lists(const Listing& listing, const std::string& path) {
  for (const Entry& e : listing.entries)
    if (e.path == path && !e.folder) return true;
  return false;
}

// Packs a small file, moving it, into a copy of the archive: into the
// first folder when choose is odd.
void CheckPack(const std::string& original, const Listing& before, uint8_t choose) {
  std::string archive = (gScratch / "pack.doc").string();
  WriteAll(archive, original);
  const fs::path src = gScratch / "src";
  const std::string content(choose & 2 ? 5000 : 100, static_cast<char>(choose));
  WriteAll(src / kPacked, content);
  std::string subPath;
  if (choose & 1)
    for (const Entry& e : before.entries)
      if (e.folder) {
        subPath = e.path;
        break;
      }
  std::string list = std::string(kPacked) + '\0' + '\0';
  std::string srcPath = src.string() + '/';
  gPlugin->SetProcessDataProc(kGlobalHandle, KeepGoing);
  const int32_t result =
      gPlugin->PackFiles(archive.data(), subPath.empty() ? nullptr : subPath.data(), srcPath.data(),
                         list.data(), PK_PACK_MOVE_FILES);
  const bool sourceKept = fs::exists(src / kPacked);
  fs::remove(src / kPacked);
  const Listing after = Walk(archive, PK_OM_LIST);
  if (result != 0) {
    if (!sourceKept) Finding("a failed pack deleted its source");
    if (before.end == E_END_ARCHIVE && after != before)
      Finding("a failed pack changed the archive");
    return;
  }
  if (sourceKept) Finding("a packed source was not moved");
  if (after.end != E_END_ARCHIVE) Finding("the archive does not list after a pack");
  const std::string stored = subPath.empty() ? kPacked : subPath + '/' + kPacked;
  if (!Lists(after, stored)) Finding("the packed file is not listed");
}

// Deletes the listed entry chosen from a copy of the archive.
void CheckDelete(const std::string& original, const Listing& before, uint8_t choose) {
  if (before.entries.empty()) return;
  std::string archive = (gScratch / "delete.doc").string();
  WriteAll(archive, original);
  const Entry& victim = before.entries[choose % before.entries.size()];
  std::string list = victim.path + (victim.folder ? "/*.*" : "") + '\0' + '\0';
  const int32_t result = gPlugin->DeleteFiles(archive.data(), list.data());
  const Listing after = Walk(archive, PK_OM_LIST);
  if (before.end != E_END_ARCHIVE) return;
  if (result != 0) {
    if (after != before) Finding("a failed delete changed the archive");
    return;
  }
  if (after.end != E_END_ARCHIVE) Finding("the archive does not list after a delete");
  if (after.entries.size() >= before.entries.size()) Finding("a delete removed nothing");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gPlugin = new testing_support::Plugin(QOR_PLUGIN);
  // In memory where the system offers it: the plug-in syncs what it writes.
  const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "qor-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) abort();
  gScratch = pattern;
  fs::create_directory(gScratch / "out");
  fs::create_directory(gScratch / "src");
  atexit([] { fs::remove_all(gScratch); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string archive = (gScratch / "in.doc").string();
  WriteAll(archive, bytes);
  std::string name = archive;
  gPlugin->CanYouHandleThisFile(name.data());
  const Listing listing = Walk(archive, PK_OM_EXTRACT);
  if (ReadAll(archive) != bytes) Finding("extracting changed the archive");
  if (listing.end == E_EOPEN) return 0;  // nothing to change
  const uint8_t choose = size > 0 ? data[size / 2] : 0;
  CheckPack(bytes, listing, choose);
  CheckDelete(bytes, listing, choose);
  return 0;
}
