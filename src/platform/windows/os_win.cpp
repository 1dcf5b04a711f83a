// Files, errors, the library's own name and the unload report on Windows:
// the Win32 calls themselves, in their W forms. The plug-in's UTF-8 paths
// become UTF-16 here, so that a file reaches the system under its own name,
// inside the ANSI code page or not, whichever interface the host used.
#include <windows.h>

#include <algorithm>

#include "platform/os.h"
#include "platform/unicode.h"

namespace platform {
namespace {

std::wstring Wide(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Utf8(const wchar_t* text, size_t length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

HANDLE AsHandle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// A handle opened only to ask about the file: it needs no access rights, so
// it works while others hold the file open without sharing.
struct QueryHandle {
  HANDLE handle;
  explicit QueryHandle(const std::string& path)
      : handle(CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
  ~QueryHandle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  QueryHandle(const QueryHandle&) = delete;
  QueryHandle& operator=(const QueryHandle&) = delete;
};

std::optional<DWORD> Attributes(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

}  // namespace

uint32_t GetLastError() {
  return ::GetLastError();
}

void SetLastError(uint32_t code) {
  ::SetLastError(code);
}

bool IsShareConflictError(uint32_t code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

std::string SysErrorMessage(uint32_t code) {
  wchar_t buffer[256];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, std::size(buffer), nullptr);
  return Utf8(buffer, length);
}

std::optional<FileStamp> GetFileStamp(const std::string& path) {
  if (path.empty()) return std::nullopt;
  QueryHandle file(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (file.handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.handle, &info))
    return std::nullopt;
  const uint64_t index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return FileStamp{(uint64_t{info.dwVolumeSerialNumber} << 32) ^ index,
                   static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow),
                   static_cast<int64_t>(FileTimeToUInt64(info.ftLastWriteTime))};
}

std::optional<FILETIME> GetFileModifiedTime(const std::string& path) {
  const std::optional<FileStamp> stamp = GetFileStamp(path);
  if (!stamp) return std::nullopt;
  return UInt64ToFileTime(static_cast<uint64_t>(stamp->modified));
}

std::optional<PathInfo> GetPathInfo(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return PathInfo{PathKind::kDirectory, 0};
  return PathInfo{PathKind::kFile,
                  static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow)};
}

// Windows has no look-up relative to an open folder that the plug-in could
// use without the native API: a source folder is its path.
void SourceFolder::Open(const std::string& path) { path_ = path; }

void SourceFolder::Close() {}

std::optional<PathInfo> GetPathInfo(const SourceFolder& folder, const std::string& name) {
  return GetPathInfo(folder.Path() + name);
}

bool FileExists(const std::string& path) {
  const std::optional<DWORD> attributes = Attributes(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const std::optional<DWORD> attributes = Attributes(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDir(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileW(Wide(path).c_str()) != 0;
}

NewFile CreateNewFile(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_FILE_EXISTS ? NewFile::kExists : NewFile::kFailed;
  CloseHandle(file);
  return NewFile::kCreated;
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
  return MoveFileExW(Wide(source).c_str(), Wide(target).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string WrittenFilePath(const std::string& path) {
  return path;
}

bool MayReplaceFile(const std::string& path) {
  const std::optional<DWORD> attributes = Attributes(path);
  if (!attributes) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  if (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

bool ApplyFileAttributes(const std::string& path, uint32_t attr) {
  return ::SetFileAttributesW(Wide(path).c_str(), attr) != 0;
}

bool SetExtractedFileTime(const std::string& path, const FILETIME& utc) {
  // Opened for writing and without sharing, as a file just extracted is.
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Only the creation time: the last-write time stays as writing left it.
  const bool done = SetFileTime(file, &utc, nullptr, nullptr) != 0;
  const DWORD error = ::GetLastError();
  CloseHandle(file);
  ::SetLastError(error);
  return done;
}

// ---- File -------------------------------------------------------------------

bool File::Open(const std::string& path, Mode mode) {
  Close();
  const std::wstring widePath = Wide(path);
  HANDLE file = mode == Mode::kCreate
                    ? CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                    : CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool File::Open(const SourceFolder& folder, const std::string& name, Mode mode) {
  return Open(folder.Path() + name, mode);
}

bool File::IsOpen() const {
  return handle_ != -1;
}

void File::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

namespace {
// ReadFile and WriteFile move at most 4 GiB less one byte per call.
constexpr int64_t kMaxTransfer = 1 << 30;
}  // namespace

int64_t File::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD moved = 0;
    const auto piece = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
    if (!ReadFile(AsHandle(handle_), p + done, piece, &moved, nullptr)) return -1;
    if (moved == 0) break;
    done += moved;
  }
  return done;
}

int64_t File::Write(const void* buffer, int64_t count) {
  auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD moved = 0;
    const auto piece = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
    if (!WriteFile(AsHandle(handle_), p + done, piece, &moved, nullptr) || moved == 0)
      return done > 0 ? done : -1;
    done += moved;
  }
  return done;
}

int64_t File::Seek(int64_t offset, int origin) {
  static constexpr DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (origin < 0 || origin > 2) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(AsHandle(handle_), distance, &position, kMethod[origin])) return -1;
  return position.QuadPart;
}

int64_t File::Size() const {
  LARGE_INTEGER size;
  return GetFileSizeEx(AsHandle(handle_), &size) ? int64_t{size.QuadPart} : -1;
}

bool File::Truncate(int64_t size) {
  // SetEndOfFile cuts at the file pointer; the position is kept, as
  // ftruncate keeps it.
  const int64_t position = Seek(0, FILE_CURRENT);
  if (position < 0 || Seek(size, FILE_BEGIN) < 0) return false;
  const bool done = SetEndOfFile(AsHandle(handle_)) != 0;
  const DWORD error = ::GetLastError();
  Seek(position, FILE_BEGIN);
  ::SetLastError(error);
  return done;
}

// ---- The library itself -----------------------------------------------------

std::string LibraryFileName() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&LibraryFileName), &module))
    return {};
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Utf8(buffer, length) : std::string();
}

namespace {
// True while the process ends with the library still loaded: a message box
// then would run inside the loader's lock and could hang the exit.
bool ProcessIsEnding() {
  using ShutdownInProgress = BOOLEAN(WINAPI*)();
  static const auto inProgress = reinterpret_cast<ShutdownInProgress>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
  return inProgress && inProgress();
}
}  // namespace

void ShowErrorReport(const std::string& caption, const std::string& text) {
  if (ProcessIsEnding()) {
    OutputDebugStringW(Wide(caption + ": " + text + "\n").c_str());
    return;
  }
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace platform
