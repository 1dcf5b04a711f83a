#include "cfb/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cfb/error.h"
#include "cfb/io_faults.h"
#include "cfb/share_lock.h"

namespace cfb {

namespace {

[[noreturn]] void FailOpen(int err, const std::string& path) {
  const std::string what = path + ": " + std::strerror(err);
  switch (err) {
    case ENOENT:
      Fail(Errc::kFileNotFound, what);
    case ENOTDIR:
      Fail(Errc::kPathNotFound, what);
    case EEXIST:
      Fail(Errc::kAlreadyExists, what);
    case ENOSPC:
    case EDQUOT:
      Fail(Errc::kMediumFull, what);
    default:
      Fail(Errc::kAccessDenied, what);
  }
}

[[noreturn]] void FailWrite(int err) {
  if (err == ENOSPC || err == EDQUOT || err == EFBIG) Fail(Errc::kMediumFull, std::strerror(err));
  Fail(Errc::kWriteFault, std::strerror(err));
}

}  // namespace

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  std::swap(fd_, other.fd_);
  return *this;
}

FileHandle::~FileHandle() {
  if (fd_ >= 0) close(fd_);  // closing drops the lock too
}

FileHandle FileHandle::Open(const std::string& path, Mode mode, ShareLock lock,
                            const KeepWaiting& keepWaiting) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kCreate:
      flags |= O_RDWR | O_CREAT;
      break;
    case Mode::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  // The program that held the lock may have removed or replaced the file
  // before letting go: a lock on what the name no longer names guards
  // nothing, and whatever is written there is lost. The name is opened
  // again then, a few times.
  for (int attempt = 0;; ++attempt) {
    int fd;
    do fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    // Creating fails with ENOENT only when a folder of the path is missing.
    if (fd < 0) FailOpen(errno == ENOENT && (flags & O_CREAT) ? ENOTDIR : errno, path);
    FileHandle file(fd);
    struct stat st;
    if (fstat(fd, &st) != 0) FailOpen(errno, path);
    if (S_ISDIR(st.st_mode)) FailOpen(EISDIR, path);
    if (AcquireShareLock(fd, lock, mode != Mode::kRead, path, keepWaiting) == LockOutcome::kInUse)
      Fail(Errc::kShareViolation, path + ": in use by another open");
    if (lock == ShareLock::kNone) return file;
    struct stat named;
    if (stat(path.c_str(), &named) == 0 && named.st_dev == st.st_dev && named.st_ino == st.st_ino)
      return file;
    // kCreateNew cannot open the name again: what it names now is another's.
    if (mode == Mode::kCreateNew || attempt == 3)
      Fail(Errc::kShareViolation, path + ": replaced by another open");
  }
}

FileHandle FileHandle::CreateUnnamed(const std::string& dir) {
  int fd;
  do fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd >= 0) return FileHandle(fd);
  // What kernels and file systems without unnamed files answer.
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return FileHandle();
  FailOpen(errno, dir);
}

void FileHandle::LinkAs(const std::string& path) {
  // Naming a file by its descriptor needs a privilege; its entry under
  // /proc does not.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
  if (errno != EEXIST && linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return;
  if (errno == EEXIST) Fail(Errc::kAlreadyExists, path + ": " + std::strerror(errno));
  FailWrite(errno);
}

bool FileHandle::SetOwnerAndMode(uint32_t uid, uint32_t gid, uint32_t mode) {
  return fchown(fd_, uid, gid) == 0 && fchmod(fd_, mode & 07777) == 0;
}

void FileHandle::Remove(const std::string& path) {
  unlink(path.c_str());
}

uint64_t FileHandle::Size() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) Fail(Errc::kReadFault, std::strerror(errno));
  return static_cast<uint64_t>(st.st_size);
}

uint64_t FileHandle::ReadAt(uint64_t offset, void* buffer, uint64_t count) const {
  if (IoFaultDue(IoOp::kRead)) Fail(Errc::kReadFault, std::strerror(EIO));
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t n = pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(Errc::kReadFault, std::strerror(errno));
    }
    if (n == 0) break;
    done += static_cast<uint64_t>(n);
  }
  return done;
}

void FileHandle::WriteAt(uint64_t offset, const void* buffer, uint64_t count) {
  if (IoFaultDue(IoOp::kWrite)) FailWrite(EIO);
  const auto* in = static_cast<const uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t n = pwrite(fd_, in + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FailWrite(errno);
    }
    if (n == 0) FailWrite(ENOSPC);
    done += static_cast<uint64_t>(n);
  }
}

void FileHandle::Resize(uint64_t size) {
  if (IoFaultDue(IoOp::kResize)) FailWrite(EIO);
  int rc;
  do rc = ftruncate(fd_, static_cast<off_t>(size));
  while (rc != 0 && errno == EINTR);
  if (rc != 0) FailWrite(errno);
}

void FileHandle::Sync() {
  if (IoFaultDue(IoOp::kSync)) FailWrite(EIO);
  if (fdatasync(fd_) != 0 && errno != EINVAL) FailWrite(errno);
}

std::string FileHandle::DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void FileHandle::SyncDirectoryOf(const std::string& path) {
  const int fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // nothing more to make durable than the system allows
  fsync(fd);
  close(fd);
}

}  // namespace cfb
