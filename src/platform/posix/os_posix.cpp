// Files, errors, the library's own name and the unload report on POSIX. The
// plug-in's paths are UTF-8; the system gets them in the locale's charset,
// which for the common UTF-8 locale is the same text (a host of the W
// functions in another locale thus names files in that locale's charset).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "platform/stg_messages.h"
#include "platform/unicode.h"

namespace platform {
namespace {

// A byte of a host's name that did not decode comes back as that byte.
std::string SystemPath(const std::string& path) {
  if (IsAscii(path)) return path;
  return WideToAnsi(Utf8ToUtf16(path), CodePage::kAnsi);
}

}  // namespace

uint32_t GetLastError() {
  return static_cast<uint32_t>(errno);
}

void SetLastError(uint32_t code) {
  errno = static_cast<int>(code);
}

bool IsShareConflictError(uint32_t code) {
  return code == EWOULDBLOCK;  // a lock taken without waiting
}

std::string SysErrorMessage(uint32_t code) {
  if (const char* text = StgMessageText(code)) return text;
  if (code == 0 || code > 0xFFFF) return {};
  char buffer[256];
  // The GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

std::optional<FileStamp> GetFileStamp(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(SystemPath(path).c_str(), &st) != 0) return std::nullopt;
  return FileStamp{(uint64_t{st.st_dev} << 32) ^ st.st_ino, st.st_size,
                   int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

std::optional<FILETIME> GetFileModifiedTime(const std::string& path) {
  const std::optional<FileStamp> stamp = GetFileStamp(path);
  if (!stamp) return std::nullopt;
  constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;  // 1970-01-01 as a FILETIME
  const int64_t ticks = stamp->modified / 100 + kUnixEpochTicks;
  if (ticks <= 0) return std::nullopt;
  return UInt64ToFileTime(static_cast<uint64_t>(ticks));
}

namespace {

// What path names, relative to the folder dir (AT_FDCWD: the current one).
std::optional<PathInfo> PathInfoIn(int dir, const std::string& path) {
  struct stat st;
  if (path.empty() || fstatat(dir, SystemPath(path).c_str(), &st, 0) != 0) return std::nullopt;
  if (S_ISDIR(st.st_mode)) return PathInfo{PathKind::kDirectory, 0};
  return PathInfo{PathKind::kFile, st.st_size};
}

}  // namespace

std::optional<PathInfo> GetPathInfo(const std::string& path) {
  return PathInfoIn(AT_FDCWD, path);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(SystemPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(SystemPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  return mkdir(SystemPath(path).c_str(), 0777) == 0;
}

bool RemoveFile(const std::string& path) {
  return unlink(SystemPath(path).c_str()) == 0;
}

NewFile CreateNewFile(const std::string& path) {
  const int fd = ::open(SystemPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? NewFile::kExists : NewFile::kFailed;
  ::close(fd);
  return NewFile::kCreated;
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
  return ::rename(SystemPath(source).c_str(), SystemPath(target).c_str()) == 0;
}

std::string WrittenFilePath(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(SystemPath(path).c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
    return path;
  char* resolved = realpath(SystemPath(path).c_str(), nullptr);
  if (!resolved) return path;
  std::string result = Utf16ToUtf8(AnsiToWide(resolved, CodePage::kAnsi));
  free(resolved);
  return result;
}

bool MayReplaceFile(const std::string& path) {
  struct stat st;
  const std::string systemPath = SystemPath(path);
  if (stat(systemPath.c_str(), &st) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  // Renaming over a file needs only the folder's permission; a file the
  // user may not write is refused all the same, as writing into it would be.
  return faccessat(AT_FDCWD, systemPath.c_str(), W_OK, AT_EACCESS) == 0;
}

bool ApplyFileAttributes(const std::string& path, uint32_t attr) {
  // A header without permission bits says nothing about them; mode 000
  // would lock the user out of the file just extracted.
  if ((attr & 07777) == 0) return true;
  return chmod(SystemPath(path).c_str(), static_cast<mode_t>(attr & 07777)) == 0;
}

bool SetExtractedFileTime(const std::string& path, const FILETIME& utc) {
  constexpr int64_t kTicksPerSecond = 10'000'000;
  constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;
  const int64_t sinceEpoch = static_cast<int64_t>(FileTimeToUInt64(utc)) - kUnixEpochTicks;
  int64_t seconds = sinceEpoch / kTicksPerSecond;
  int64_t ticks = sinceEpoch % kTicksPerSecond;
  if (ticks < 0) --seconds, ticks += kTicksPerSecond;
  // The access time stays: only the modification time says what the data is.
  const timespec times[2] = {{0, UTIME_OMIT},
                             {static_cast<time_t>(seconds), static_cast<long>(ticks * 100)}};
  return utimensat(AT_FDCWD, SystemPath(path).c_str(), times, 0) == 0;
}

// ---- File -------------------------------------------------------------------

namespace {

// Opens path, relative to the folder dir (AT_FDCWD: the current one); -1
// with errno set when it fails. A file opened for reading has its size
// learnt.
int OpenIn(int dir, const std::string& path, File::Mode mode, int64_t& size) {
  int fd = -1;
  if (mode == File::Mode::kCreate) {
    fd = ::openat(dir, path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // Only a file with content is cut: ext4 takes any truncation as a file
    // being replaced and writes it out when it is closed, which made
    // extracting into the empty file made beside the target 10% dearer.
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || (st.st_size > 0 && ftruncate(fd, 0) != 0))) {
      const int err = errno;
      ::close(fd);
      errno = err;
      fd = -1;
    }
  } else {
    fd = ::openat(dir, path.c_str(), O_RDONLY | O_CLOEXEC);
    // Writers that take the same advisory lock are kept out while we read.
    if (fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0) {
      int err = errno;
      ::close(fd);
      errno = err;
      fd = -1;
    }
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        fd = -1;
      } else {
        size = st.st_size;  // spares packing a look per file
      }
    }
  }
  return fd;
}

}  // namespace

void SourceFolder::Open(const std::string& path) {
  Close();
  path_ = path;
  handle_ = ::open(path.empty() ? "." : SystemPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void SourceFolder::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

std::optional<PathInfo> GetPathInfo(const SourceFolder& folder, const std::string& name) {
  if (folder.handle_ < 0) return GetPathInfo(folder.path_ + name);
  return PathInfoIn(static_cast<int>(folder.handle_), name);
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  handle_ = OpenIn(AT_FDCWD, SystemPath(path), mode, size_);
  return handle_ >= 0;
}

bool File::Open(const SourceFolder& folder, const std::string& name, Mode mode) {
  if (folder.handle_ < 0) return Open(folder.Path() + name, mode);
  Close();
  handle_ = OpenIn(static_cast<int>(folder.handle_), SystemPath(name), mode, size_);
  return handle_ >= 0;
}

bool File::IsOpen() const {
  return handle_ >= 0;
}

void File::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  size_ = -1;
}

int64_t File::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(static_cast<int>(handle_), p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t File::Write(const void* buffer, int64_t count) {
  size_ = -1;
  auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(static_cast<int>(handle_), p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? done : -1;
    done += n;
  }
  return done;
}

int64_t File::Seek(int64_t offset, int origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) {
    errno = EINVAL;
    return -1;
  }
  off_t r = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), kWhence[origin]);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t File::Size() const {
  if (size_ >= 0) return size_;
  struct stat st;
  return fstat(static_cast<int>(handle_), &st) == 0 ? int64_t{st.st_size} : -1;
}

bool File::Truncate(int64_t size) {
  size_ = -1;
  return ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

// ---- The library itself -----------------------------------------------------

std::string LibraryFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryFileName), &info) != 0 && info.dli_fname)
    return info.dli_fname;
  return {};
}

void ShowErrorReport(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace platform
