// Compaction of a compound file on the engine: a copy written afresh that
// takes the file's place, or the content moved down inside the file.
#include <sys/stat.h>

#include <memory>
#include <string>

#include "cfb/compound_file.h"
#include "cfb/error.h"
#include "platform/ole.h"
#include "platform/ole/copy_beside.h"
#include "platform/ole/result.h"
#include "platform/ole/storage.h"
#include "platform/os.h"

namespace {

using cfb::CompoundFile;
using platform::ole::RemoveLeftoverCopies;
using platform::ole::ReplaceWithCopy;

bool WorthIt(const CompoundFile& file, const QOR_COMPACTION& options) {
  return QorCompactionWorthIt(QOR_FILE_ROOM{file.file_size(), file.FreeBytes()}, options);
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
    // Compactions of this file wait for its lock: no copy beside it is
    // still being written.
    RemoveLeftoverCopies(path);
    const cfb::Version version = options->sectorSize == 4096  ? cfb::Version::k4
                                 : options->sectorSize == 512 ? cfb::Version::k3
                                                              : file->version();
    const bool resize = version != file->version();
    if (!resize && !WorthIt(*file, *options)) return S_FALSE;
    struct stat original;
    if (stat(path.c_str(), &original) != 0) return STG_E_ACCESSDENIED;
    if (original.st_nlink == 1 &&
        ReplaceWithCopy(*file, version, original) == platform::ole::Replaced::kYes)
      return S_OK;
    // Other names of the file, or an owner a copy cannot keep: only the
    // file itself can stay what they refer to.
    if (resize) return S_FALSE;
    return file->CompactInPlace() ? S_OK : S_FALSE;
  });
}

HRESULT QorQueryFileRoom(IStorage* root, QOR_FILE_ROOM* room) {
  auto* storage = dynamic_cast<platform::ole::Storage*>(root);
  if (!storage || !room) return STG_E_INVALIDPOINTER;
  return platform::ole::Guarded([&] {
    std::string path;
    const HRESULT hr = storage->QueryRoom(*room, path);
    // The root's exclusive lock keeps out any compaction that might still
    // be writing such a copy.
    if (hr == S_OK) RemoveLeftoverCopies(path);
    return hr;
  });
}
