// The structured-storage entry points on the project's compound-file engine.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "cfb/compound_file.h"
#include "cfb/header.h"
#include "platform/ole.h"
#include "platform/ole/modes.h"
#include "platform/ole/result.h"
#include "platform/ole/shared_file.h"
#include "platform/ole/storage.h"
#include "platform/os.h"

using platform::ole::Guarded;

namespace {

std::string PathOf(const OLECHAR* name) {
  return platform::WideToAnsi(name, platform::CodePage::kAnsi);
}

// A new file in the temporary directory for a root created without a name.
std::string MakeTemporaryFile() {
  const char* dir = getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/~qorstg-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) throw cfb::Error(cfb::Errc::kAccessDenied, "no temporary file");
  close(fd);
  return path;
}

}  // namespace

HRESULT StgIsStorageFile(const OLECHAR* pwcsName) {
  if (!pwcsName) return STG_E_INVALIDNAME;
  const HRESULT hr = Guarded([&] {
    const cfb::FileHandle file = cfb::FileHandle::Open(
        PathOf(pwcsName), cfb::FileHandle::Mode::kRead, cfb::ShareLock::kNone);
    uint8_t start[8] = {};
    const uint64_t got = file.ReadAt(0, start, sizeof start);
    return cfb::HasSignature(std::span<const uint8_t>(start, got)) ? S_OK : S_FALSE;
  });
  // Whatever kept the file from being read, it was not found as a file.
  return FAILED(hr) ? STG_E_FILENOTFOUND : hr;
}

HRESULT StgOpenStorage(const OLECHAR* pwcsName, IStorage*, DWORD grfMode, SNB, DWORD reserved,
                       IStorage** ppstgOpen) {
  if (reserved != 0) return STG_E_INVALIDPARAMETER;
  return QorOpenStorageWaiting(pwcsName, grfMode, {}, ppstgOpen);
}

HRESULT QorOpenStorageWaiting(const OLECHAR* pwcsName, DWORD grfMode,
                              const QOR_KEEP_WAITING& keepWaiting, IStorage** ppstgOpen) {
  if (!ppstgOpen) return STG_E_INVALIDPOINTER;
  *ppstgOpen = nullptr;
  if (!pwcsName) return STG_E_INVALIDNAME;
  if (const HRESULT hr = platform::ole::CheckRootOpenMode(grfMode); FAILED(hr)) return hr;
  return Guarded([&] {
    const auto access = platform::ole::ModeWrites(grfMode) ? cfb::CompoundFile::Access::kReadWrite
                                                           : cfb::CompoundFile::Access::kRead;
    auto file = cfb::CompoundFile::Open(PathOf(pwcsName), access, platform::ole::RootLock(grfMode),
                                        keepWaiting);
    auto shared =
        std::make_shared<platform::ole::SharedFile>(std::move(file), pwcsName, grfMode, false);
    *ppstgOpen = platform::ole::Storage::CreateRoot(std::move(shared));
    return S_OK;
  });
}

namespace {

// A new root on a new file. A failed create leaves nothing behind: the
// engine removes a file that it made, and a temporary file goes here.
HRESULT CreateRootStorage(const OLECHAR* pwcsName, DWORD grfMode, cfb::Version version,
                          IStorage** ppstgOpen) {
  *ppstgOpen = nullptr;
  if (const HRESULT hr = platform::ole::CheckRootCreateMode(grfMode); FAILED(hr)) return hr;
  return Guarded([&] {
    const bool temporary = pwcsName == nullptr;
    const std::string path = temporary ? MakeTemporaryFile() : PathOf(pwcsName);
    const bool replace = temporary || (grfMode & STGM_CREATE) != 0;
    std::unique_ptr<cfb::CompoundFile> file;
    try {
      file = cfb::CompoundFile::Create(path, replace, version);
    } catch (...) {
      if (temporary) unlink(path.c_str());
      throw;
    }
    const std::u16string name =
        temporary ? platform::AnsiToWide(path, platform::CodePage::kAnsi) : pwcsName;
    auto shared = std::make_shared<platform::ole::SharedFile>(
        std::move(file), name, grfMode, (grfMode & STGM_DELETEONRELEASE) != 0);
    *ppstgOpen = platform::ole::Storage::CreateRoot(std::move(shared));
    return S_OK;
  });
}

}  // namespace

HRESULT StgCreateDocfile(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved,
                         IStorage** ppstgOpen) {
  if (!ppstgOpen) return STG_E_INVALIDPOINTER;
  *ppstgOpen = nullptr;
  if (reserved != 0) return STG_E_INVALIDPARAMETER;
  return CreateRootStorage(pwcsName, grfMode, cfb::Version::k3, ppstgOpen);
}

HRESULT StgCreateStorageEx(const OLECHAR* pwcsName, DWORD grfMode, DWORD stgfmt, DWORD grfAttrs,
                           STGOPTIONS* pStgOptions, void* pSecurityDescriptor, REFIID riid,
                           void** ppObjectOpen) {
  if (!ppObjectOpen) return STG_E_INVALIDPOINTER;
  *ppObjectOpen = nullptr;
  if (stgfmt != STGFMT_DOCFILE && stgfmt != STGFMT_STORAGE) return STG_E_INVALIDPARAMETER;
  if (grfAttrs != 0 || pSecurityDescriptor != nullptr) return STG_E_INVALIDPARAMETER;
  if (!(riid == IID_IStorage)) return E_NOINTERFACE;
  cfb::Version version = cfb::Version::k3;
  if (pStgOptions) {
    if (pStgOptions->ulSectorSize == 4096)
      version = cfb::Version::k4;
    else if (pStgOptions->ulSectorSize != 512)
      return STG_E_INVALIDPARAMETER;
  }
  return CreateRootStorage(pwcsName, grfMode, version, reinterpret_cast<IStorage**>(ppObjectOpen));
}
