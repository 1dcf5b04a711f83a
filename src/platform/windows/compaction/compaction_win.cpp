// Compaction on Windows: a copy written element by element beside the file
// takes its place. The system's structured storage has no in-place
// compaction, and its CopyTo would lose what it does not copy (the times of
// storages, siblings whose names differ only in case), so the copy is made
// here and checked against the original before it replaces anything.
//
// Whether the room is worth it is estimated from the streams' sizes before
// any copy is made, and decided by the size of the copy itself.
#include <windows.h>

#include <new>
#include <string>

#include "platform/com_ptr.h"
#include "platform/windows/compaction/compacted_size_win.h"
#include "platform/windows/compaction/compaction_files_win.h"
#include "platform/ole.h"
#include "platform/windows/compaction/storage_tree_copy_win.h"

namespace {

using namespace platform::compaction;

bool WorthIt(uint64_t fileSize, uint64_t compactedSize, const QOR_COMPACTION& options) {
  const uint64_t free = fileSize > compactedSize ? fileSize - compactedSize : 0;
  return QorCompactionWorthIt(QOR_FILE_ROOM{fileSize, free}, options);
}

// Wine's ReplaceFileW takes only full paths.
HRESULT FullPath(const OLECHAR* name, std::wstring& path) {
  const DWORD length = GetFullPathNameW(name, 0, nullptr, nullptr);
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  path.resize(length);
  const DWORD written = GetFullPathNameW(name, length, path.data(), nullptr);
  if (written == 0 || written >= length) return STG_E_INVALIDNAME;
  path.resize(written);
  return S_OK;
}

// The copy, filled, found the same as the original through the system's
// eyes and committed; then, closed, found the same in its directory's bytes,
// which hold what the system may not show. S_FALSE when it is not the same.
HRESULT WriteCopy(IStorage* original, const DirectoryDigest& originalDirectory, CopyBeside& copy,
                  const std::wstring& path, uint32_t sectorSize) {
  STATSTG root{};
  HRESULT hr = original->Stat(&root, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  platform::ComPtr<IStorage> storage;
  hr = copy.Create(path, sectorSize, storage);
  if (SUCCEEDED(hr)) hr = CopyStorageTree(original, storage.Get());
  if (hr == S_OK) hr = CompareStorageTrees(original, storage.Get());
  if (hr == S_OK) hr = copy.Seal(storage, root.clsid);
  if (hr != S_OK) return hr;
  DirectoryDigest copyDirectory;
  hr = copy.Digest(copyDirectory);
  if (FAILED(hr)) return hr;
  return copyDirectory == originalDirectory ? S_OK : S_FALSE;
}

HRESULT Compact(const OLECHAR* name, const QOR_COMPACTION& options) {
  std::wstring path;
  HRESULT hr = FullPath(name, path);
  if (FAILED(hr)) return hr;
  RestoreInterruptedReplace(path);
  HeldOriginal original;
  hr = original.Open(path);
  if (FAILED(hr)) return hr;
  RemoveLeftoverCopies(path, original.directory);
  // Old content that is not the original's: not ours to overwrite.
  if (HasBackup(path)) return S_FALSE;
  // A copy would leave the file's other names with the old content.
  if (original.links > 1) return S_FALSE;
  if (original.attributes & FILE_ATTRIBUTE_READONLY) return STG_E_ACCESSDENIED;
  const uint32_t sectorSize = options.sectorSize ? options.sectorSize : original.sectorSize;
  const bool resize = sectorSize != original.sectorSize;

  platform::ComPtr<IStorage> storage;
  hr = StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                      storage.Receive());
  if (FAILED(hr)) return hr;
  if (!resize) {
    uint64_t estimate = 0;
    hr = EstimateCompactedSize(storage.Get(), sectorSize, estimate);
    if (hr != S_OK) return hr;
    if (!WorthIt(original.size, estimate, options)) return S_FALSE;
  }
  CopyBeside copy;
  hr = WriteCopy(storage.Get(), original.directory, copy, path, sectorSize);
  if (hr != S_OK) return hr;
  storage.Reset();
  if (!resize) {
    uint64_t copySize = 0;
    hr = copy.Size(copySize);
    if (FAILED(hr)) return hr;
    if (!WorthIt(original.size, copySize, options)) return S_FALSE;
  }
  return copy.Replace(path, original);
}

}  // namespace

// The system's structured storage keeps no such counts.
HRESULT QorQueryFileRoom(IStorage*, QOR_FILE_ROOM*) { return E_NOTIMPL; }

HRESULT QorCompactStorageFile(const OLECHAR* pwcsName, const QOR_COMPACTION* options) {
  if (!pwcsName || !options) return STG_E_INVALIDPOINTER;
  if (options->sectorSize != 0 && options->sectorSize != 512 && options->sectorSize != 4096)
    return STG_E_INVALIDPARAMETER;
  try {
    return Compact(pwcsName, *options);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
