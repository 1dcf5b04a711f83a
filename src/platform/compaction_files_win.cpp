#include "platform/compaction_files_win.h"

#include "platform/file_structures_win.h"

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

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

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

// The creation time and the data reach the disk before the copy replaces
// anything.
HRESULT StampAndFlush(const std::wstring& path, const FILETIME& creationTime) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsOpen()) return LastError();
  if (!SetFileTime(file.Get(), &creationTime, nullptr, nullptr) || !FlushFileBuffers(file.Get()))
    return LastError();
  return S_OK;
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
  if (!path_.empty() && !kept_) DeleteFileW(path_.c_str());
}

HRESULT CopyBeside::Create(const std::wstring& originalPath, uint32_t sectorSize,
                           ComPtr<IStorage>& storage) {
  STGOPTIONS options{};
  options.usVersion = 1;
  options.ulSectorSize = sectorSize;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring path = originalPath + L".~qor" + std::to_wstring(attempt);
    const HRESULT hr = StgCreateStorageEx(
        path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_FAILIFTHERE, STGFMT_DOCFILE, 0,
        &options, nullptr, IID_IStorage, reinterpret_cast<void**>(storage.Receive()));
    if (hr == STG_E_FILEALREADYEXISTS) continue;
    if (SUCCEEDED(hr) || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) path_ = path;
    return hr;
  }
  return STG_E_FILEALREADYEXISTS;
}

HRESULT CopyBeside::Size(uint64_t& bytes) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) return LastError();
  bytes = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  return S_OK;
}

HRESULT CopyBeside::Digest(DirectoryDigest& directory) const {
  Handle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr));
  if (!file.IsOpen()) return LastError();
  uint32_t sectorSize = 0;
  return ReadChecked(file.Get(), sectorSize, directory);
}

// ReplaceFileW keeps the original's attributes and creation time on
// Windows; Wine's gives the file the copy's, so the copy takes them first.
HRESULT CopyBeside::Replace(const std::wstring& originalPath, HeldOriginal& original) {
  HRESULT hr = StampAndFlush(path_, original.creationTime);
  if (FAILED(hr)) return hr;
  const DWORD attributes = original.attributes & kKeptAttributes;
  if (!SetFileAttributesW(path_.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL))
    return LastError();
  const auto replace = [&] {
    return ReplaceFileW(originalPath.c_str(), path_.c_str(), nullptr,
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
  if (done) {
    kept_ = true;
    return S_OK;
  }
  const HRESULT failure = LastError();
  // Without a backup name, a replace that fails late has already removed
  // the original: the copy, found the same, is then all there is of it.
  if (GetFileAttributesW(originalPath.c_str()) == INVALID_FILE_ATTRIBUTES &&
      GetLastError() == ERROR_FILE_NOT_FOUND) {
    kept_ = true;
    if (MoveFileExW(path_.c_str(), originalPath.c_str(), MOVEFILE_WRITE_THROUGH)) return S_OK;
  }
  return failure;
}

}  // namespace platform::compaction
