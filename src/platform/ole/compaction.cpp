// Compaction of a compound file on the engine: a copy written afresh that
// takes the file's place, or the content moved down inside the file.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "cfb/compound_file.h"
#include "cfb/error.h"
#include "platform/ole.h"
#include "platform/ole/result.h"
#include "platform/os.h"

namespace {

using cfb::CompoundFile;

// A copy beside the file, under a name nothing else has; a copy that
// fails half-way goes again.
void CopyBeside(CompoundFile& source, cfb::Version version, std::string& copyPath) {
  for (int attempt = 0;; ++attempt) {
    copyPath = source.path() + ".~qor" + std::to_string(attempt);
    try {
      CompoundFile::CreateCopy(source, copyPath, version);
      return;
    } catch (const cfb::Error& error) {
      if (error.code() == cfb::Errc::kAlreadyExists && attempt < 100) continue;
      if (error.code() != cfb::Errc::kAlreadyExists) unlink(copyPath.c_str());
      throw;
    }
  }
}

// Puts the copy in the file's place, with the file's mode and owner; false
// (and the copy gone) when the owner cannot be kept.
bool ReplaceWithCopy(const std::string& path, const std::string& copyPath,
                     const struct stat& original) {
  if (chown(copyPath.c_str(), original.st_uid, original.st_gid) != 0 ||
      chmod(copyPath.c_str(), original.st_mode & 07777) != 0) {
    unlink(copyPath.c_str());
    return false;
  }
  if (rename(copyPath.c_str(), path.c_str()) != 0)
    cfb::Fail(cfb::Errc::kWriteFault, path + ": the compacted copy cannot take its place");
  cfb::FileHandle::SyncDirectoryOf(path);
  return true;
}

bool WorthIt(const CompoundFile& file, const QOR_COMPACTION& options) {
  const uint64_t free = file.FreeBytes();
  return free > options.minFreeBytes &&
         free * 100 > file.file_size() * uint64_t{options.minFreePercent};
}

}  // namespace

HRESULT QorCompactStorageFile(const OLECHAR* pwcsName, const QOR_COMPACTION* options) {
  if (!pwcsName || !options) return STG_E_INVALIDPOINTER;
  if (options->sectorSize != 0 && options->sectorSize != 512 && options->sectorSize != 4096)
    return STG_E_INVALIDPARAMETER;
  return platform::ole::Guarded([&]() -> HRESULT {
    const std::string path = platform::WideToAnsi(pwcsName, platform::CodePage::kAnsi);
    auto file =
        CompoundFile::Open(path, CompoundFile::Access::kReadWrite, cfb::ShareLock::kExclusive);
    const cfb::Version version = options->sectorSize == 4096  ? cfb::Version::k4
                                 : options->sectorSize == 512 ? cfb::Version::k3
                                                              : file->version();
    const bool resize = version != file->version();
    if (!resize && !WorthIt(*file, *options)) return S_FALSE;
    struct stat original;
    if (stat(path.c_str(), &original) != 0) return STG_E_ACCESSDENIED;
    if (original.st_nlink == 1) {
      std::string copyPath;
      CopyBeside(*file, version, copyPath);
      try {
        if (ReplaceWithCopy(path, copyPath, original)) return S_OK;
      } catch (...) {
        unlink(copyPath.c_str());
        throw;
      }
    }
    // Other names of the file, or an owner a copy cannot keep: only the
    // file itself can stay what they refer to.
    if (resize) return S_FALSE;
    return file->CompactInPlace() ? S_OK : S_FALSE;
  });
}
