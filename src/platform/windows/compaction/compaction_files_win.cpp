#include "platform/windows/compaction/compaction_files_win.h"

#include <cstring>
#include <utility>

#include "platform/windows/file_structures_win.h"

namespace platform::compaction {
namespace {

constexpr int kNameAttempts = 100;
// What a copy can carry of the original's attributes; read-only originals
// are never replaced.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HRESULT LastError() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// What the engine's reader finds in the file: its sector size and the
// digest of its directory.
HRESULT ReadChecked(HANDLE file, uint32_t& sectorSize, DirectoryDigest& directory) {
  cfb::CheckedFile checked;
  const HRESULT hr = ReadFileStructures(file, checked);
  if (hr == S_FALSE) return STG_E_INVALIDHEADER;
  if (FAILED(hr)) return hr;
  if (!checked.structures.damaged.empty()) return STG_E_DOCFILECORRUPT;
  sectorSize = checked.structures.header.sector_size();
  directory = DigestDirectory(checked.directory);
  return S_OK;
}

// The root class of a copy the system is still writing.
constexpr CLSID kUnfinishedCopyClass = {
    0x5A1C3E0B, 0x7F42, 0x4D6B, {0x9E, 0x81, 0x2C, 0x0F, 0x6B, 0x7A, 0x9D, 0x34}};

std::wstring CopyName(const std::wstring& originalPath, int number) {
  return originalPath + L".~qor" + std::to_wstring(number);
}

bool MarkedForDeletion(HANDLE file, bool deletion) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deletion;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

std::wstring BackupName(const std::wstring& originalPath) { return originalPath + L".~qorold"; }

// A file under a name only a compaction gives is a leftover unless it is a
// sound compound file that holds something other than the original: a copy
// killed before or while the system wrote it (short, damaged, or still
// marked unfinished), or one as complete as the original, holds nothing
// that is not in the original.
bool IsLeftover(HANDLE file, const DirectoryDigest& original) {
  cfb::CheckedFile checked;
  const HRESULT hr = ReadFileStructures(file, checked);
  if (hr == S_FALSE || IsDamage(hr)) return true;
  if (FAILED(hr)) return false;
  if (!checked.structures.damaged.empty()) return true;
  const auto& rootClass = checked.directory.entry(cfb::kRootId).attributes().clsid;
  static_assert(sizeof rootClass == sizeof kUnfinishedCopyClass);
  return memcmp(rootClass.data(), &kUnfinishedCopyClass, sizeof kUnfinishedCopyClass) == 0 ||
         DigestDirectory(checked.directory) == original;
}

void RemoveIfLeftover(const std::wstring& path, const DirectoryDigest& original) {
  // Held by no one else, or the open fails: a copy being written is held
  // for writing.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  if (IsLeftover(file, original)) MarkedForDeletion(file, true);
  CloseHandle(file);
}

}  // namespace

HRESULT HeldOriginal::Open(const std::wstring& path) {
  Release();
  handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
  if (!IsHeld()) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle_, &info)) return LastError();
  links = info.nNumberOfLinks;
  attributes = info.dwFileAttributes;
  size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  creationTime = info.ftCreationTime;
  return ReadChecked(handle_, sectorSize, directory);
}

void HeldOriginal::Release() {
  if (IsHeld()) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

CopyBeside::~CopyBeside() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  if (!path_.empty() && !kept_) DeleteFileW(path_.c_str());
}

HRESULT CopyBeside::Create(const std::wstring& originalPath, uint32_t sectorSize,
                           ComPtr<IStorage>& storage) {
  STGOPTIONS options{};
  options.usVersion = 1;
  options.ulSectorSize = sectorSize;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring path = CopyName(originalPath, attempt);
    HRESULT hr = StgCreateStorageEx(
        path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_FAILIFTHERE, STGFMT_DOCFILE, 0,
        &options, nullptr, IID_IStorage, reinterpret_cast<void**>(storage.Receive()));
    if (hr == STG_E_FILEALREADYEXISTS) continue;
    if (SUCCEEDED(hr) || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) path_ = path;
    // Committed, so that the mark is in the file and not only in memory.
    if (SUCCEEDED(hr)) hr = storage->SetClass(kUnfinishedCopyClass);
    if (SUCCEEDED(hr)) hr = storage->Commit(STGC_DEFAULT);
    return hr;
  }
  return STG_E_FILEALREADYEXISTS;
}

HRESULT CopyBeside::Seal(ComPtr<IStorage>& storage, const CLSID& rootClass) {
  // Released still marked unfinished, and held for deletion before its root
  // takes the real class: a process that ends at any moment leaves either a
  // copy RemoveLeftoverCopies knows or one the system deletes. Sealed first
  // and held after, a kill between the two left a finished copy for good.
  HRESULT hr = storage->Commit(STGC_DEFAULT);
  storage.Reset();
  if (FAILED(hr)) return hr;
  hr = Hold();
  if (FAILED(hr)) return hr;
  return WriteRootClass(rootClass);
}

HRESULT CopyBeside::WriteRootClass(const CLSID& rootClass) {
  // The system has let the file go: its root entry, the first of the
  // directory, is written in place through the handle that holds it.
  cfb::CheckedFile checked;
  HRESULT hr = ReadFileStructures(handle_, checked);
  if (hr == S_FALSE) return STG_E_INVALIDHEADER;
  if (FAILED(hr)) return hr;
  const cfb::Header& header = checked.structures.header;
  static_assert(sizeof rootClass == 16);
  const uint64_t at = (uint64_t{header.first_dir_sector} + 1) * header.sector_size() +
                      cfb::kDirEntryClassOffset;
  OVERLAPPED place{};
  place.Offset = static_cast<DWORD>(at);
  place.OffsetHigh = static_cast<DWORD>(at >> 32);
  DWORD written = 0;
  if (!WriteFile(handle_, &rootClass, sizeof rootClass, &written, &place)) return LastError();
  return written == sizeof rootClass ? S_OK : STG_E_WRITEFAULT;
}

HRESULT CopyBeside::Hold() {
  // Nobody else may open it: whatever the system deletes then is ours.
  handle_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                        OPEN_EXISTING, 0, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return LastError();
  if (!MarkedForDeletion(handle_, true)) return LastError();
  return S_OK;
}

HRESULT CopyBeside::Size(uint64_t& bytes) const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_, &size)) return LastError();
  bytes = static_cast<uint64_t>(size.QuadPart);
  return S_OK;
}

HRESULT CopyBeside::Digest(DirectoryDigest& directory) const {
  uint32_t sectorSize = 0;
  return ReadChecked(handle_, sectorSize, directory);
}

// ReplaceFileW keeps the original's attributes and creation time on
// Windows; Wine's gives the file the copy's, so the copy takes them first.
// A file marked for deletion can be changed only through the handle that
// holds it.
HRESULT CopyBeside::Replace(const std::wstring& originalPath, HeldOriginal& original) {
  FILE_BASIC_INFO basic{};
  basic.CreationTime.LowPart = original.creationTime.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(original.creationTime.dwHighDateTime);
  const DWORD attributes = original.attributes & kKeptAttributes;
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(handle_, FileBasicInfo, &basic, sizeof basic) ||
      !FlushFileBuffers(handle_) || !MarkedForDeletion(handle_, false))
    return LastError();
  CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  // The original goes to a name of ours first: Wine's replace is two moves,
  // and a process ended between them leaves it there for
  // RestoreInterruptedReplace, not under a temporary name or deleted.
  const std::wstring backup = BackupName(originalPath);
  const auto replace = [&] {
    return ReplaceFileW(originalPath.c_str(), path_.c_str(), backup.c_str(),
                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  };
  bool done = replace();
  if (!done && original.IsHeld()) {
    // A system whose replace will not share the file with our own handle:
    // let it go and try once more, a moment in which another writer could
    // slip in.
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED) {
      original.Release();
      done = replace();
    }
  }
  const HRESULT failure = done ? S_OK : LastError();
  // A replace that fails late has moved the original to the backup's name:
  // the copy, found the same, takes its place, and is kept should it not.
  if (!done && GetFileAttributesW(originalPath.c_str()) == INVALID_FILE_ATTRIBUTES &&
      GetLastError() == ERROR_FILE_NOT_FOUND) {
    kept_ = true;
    done = MoveFileExW(path_.c_str(), originalPath.c_str(), MOVEFILE_WRITE_THROUGH);
  }
  if (!done) return failure;
  kept_ = true;
  // Left, it would be taken for what a kill between the moves left.
  DeleteFileW(backup.c_str());
  return S_OK;
}

void RemoveLeftoverCopies(const std::wstring& originalPath, const DirectoryDigest& original) {
  for (int number = 0; number < kNameAttempts; ++number)
    RemoveIfLeftover(CopyName(originalPath, number), original);
  RemoveIfLeftover(BackupName(originalPath), original);
}

bool HasBackup(const std::wstring& originalPath) {
  return GetFileAttributesW(BackupName(originalPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RestoreInterruptedReplace(const std::wstring& originalPath) {
  if (GetFileAttributesW(originalPath.c_str()) != INVALID_FILE_ATTRIBUTES ||
      GetLastError() != ERROR_FILE_NOT_FOUND)
    return;
  MoveFileExW(BackupName(originalPath).c_str(), originalPath.c_str(), MOVEFILE_WRITE_THROUGH);
}

}  // namespace platform::compaction
