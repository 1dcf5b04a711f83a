#include "platform/ole/copy_beside.h"

#include <unistd.h>

#include "cfb/error.h"
#include "cfb/file_handle.h"

namespace platform::ole {
namespace {

using cfb::CompoundFile;
using cfb::FileHandle;

constexpr int kNames = 100;

std::string CopyName(const std::string& path, int number) {
  return path + ".~qor" + std::to_string(number);
}

bool Owned(FileHandle& copy, const struct stat& original) {
  return copy.SetOwnerAndMode(original.st_uid, original.st_gid, original.st_mode);
}

// The rename is the commit point: before it the path names the original,
// after it the complete copy.
void PutInPlace(const std::string& copyPath, const std::string& path) {
  if (rename(copyPath.c_str(), path.c_str()) != 0) {
    unlink(copyPath.c_str());
    cfb::Fail(cfb::Errc::kWriteFault, path + ": the compacted copy cannot take its place");
  }
  FileHandle::SyncDirectoryOf(path);
}

// A name is taken only once the copy is complete: a process that ends
// before leaves nothing.
Replaced ReplaceWithUnnamed(FileHandle copy, CompoundFile& source, cfb::Version version,
                            const struct stat& original) {
  if (!Owned(copy, original)) return Replaced::kOwnerNotKept;
  copy = CompoundFile::WriteCopy(source, std::move(copy), source.path(), version);
  for (int number = 0;; ++number) {
    const std::string copyPath = CopyName(source.path(), number);
    try {
      copy.LinkAs(copyPath);
    } catch (const cfb::Error& error) {
      if (error.code() == cfb::Errc::kAlreadyExists && number + 1 < kNames) continue;
      throw;
    }
    copy = FileHandle();
    PutInPlace(copyPath, source.path());
    return Replaced::kYes;
  }
}

// Named from the start, locked while written and marked unfinished until
// its header is written.
Replaced ReplaceWithNamed(CompoundFile& source, cfb::Version version,
                          const struct stat& original) {
  for (int number = 0;; ++number) {
    const std::string copyPath = CopyName(source.path(), number);
    FileHandle copy;
    try {
      copy = FileHandle::Open(copyPath, FileHandle::Mode::kCreateNew, cfb::ShareLock::kExclusive);
    } catch (const cfb::Error& error) {
      if (error.code() == cfb::Errc::kAlreadyExists && number + 1 < kNames) continue;
      throw;
    }
    try {
      if (!Owned(copy, original)) {
        FileHandle::Remove(copyPath);
        return Replaced::kOwnerNotKept;
      }
      copy = CompoundFile::WriteCopy(source, std::move(copy), copyPath, version);
    } catch (...) {
      FileHandle::Remove(copyPath);
      throw;
    }
    copy = FileHandle();
    PutInPlace(copyPath, source.path());
    return Replaced::kYes;
  }
}

}  // namespace

void RemoveLeftoverCopies(const std::string& path) {
  for (int number = 0; number < kNames; ++number) {
    const std::string copyPath = CopyName(path, number);
    struct stat st;
    if (lstat(copyPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    try {
      // A copy still being written is locked: the open fails.
      const FileHandle copy =
          FileHandle::Open(copyPath, FileHandle::Mode::kRead, cfb::ShareLock::kExclusive);
      if (CompoundFile::IsUnfinishedCopy(copy)) FileHandle::Remove(copyPath);
    } catch (const cfb::Error&) {
      // not ours to remove, or not now
    }
  }
}

Replaced ReplaceWithCopy(CompoundFile& source, cfb::Version version, const struct stat& original) {
  FileHandle unnamed = FileHandle::CreateUnnamed(FileHandle::DirectoryOf(source.path()));
  if (unnamed.is_open()) return ReplaceWithUnnamed(std::move(unnamed), source, version, original);
  return ReplaceWithNamed(source, version, original);
}

}  // namespace platform::ole
