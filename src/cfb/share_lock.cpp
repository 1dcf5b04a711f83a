#include "cfb/share_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

#include "cfb/error.h"

namespace cfb {
namespace {

using Clock = std::chrono::steady_clock;

// Without a caller's say: long enough for another program's listing or
// small change to finish; short enough that a file held open elsewhere is
// reported soon.
constexpr auto kWaitForHolders = std::chrono::seconds(2);

// The gate is a byte-range lock far past any file's end (ranges beyond the
// end are allowed and touch no data). Open-file-description locks conflict
// between threads of one process as between processes, and are independent
// of the flock that holds the file.
constexpr off_t kGateOffset = std::numeric_limits<off_t>::max() - 1;

[[noreturn]] void FailLock(int err, const std::string& path) {
  Fail(Errc::kAccessDenied, path + ": " + std::strerror(err));
}

bool TryFlock(int fd, int op, const std::string& path) {
  int rc;
  do rc = flock(fd, op | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc == 0) return true;
  if (errno != EWOULDBLOCK) FailLock(errno, path);
  return false;
}

// F_RDLCK lets readers pass together; F_WRLCK is a writer closing the gate.
bool TryGate(int fd, short type, const std::string& path) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = kGateOffset;
  range.l_len = 1;
  if (fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
  if (errno == EAGAIN || errno == EACCES || errno == EINTR) return false;
  // A file system without such locks has no gate: the flock alone decides.
  if (errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP) return type != F_UNLCK;
  FailLock(errno, path);
}

void OpenGate(int fd, const std::string& path) {
  try {
    TryGate(fd, F_UNLCK, path);
  } catch (...) {
    // Closing the file drops it all the same.
  }
}

class Waiter {
 public:
  explicit Waiter(const KeepWaiting& keepWaiting) : keepWaiting_(keepWaiting) {}

  // False once the caller stops waiting, or the time is up; sleeps a little
  // longer each round.
  bool Again() {
    if (keepWaiting_ ? !keepWaiting_() : Clock::now() >= deadline_) return false;
    std::this_thread::sleep_for(pause_);
    pause_ = std::min(pause_ * 2, std::chrono::microseconds(20000));
    return true;
  }

 private:
  const KeepWaiting& keepWaiting_;
  const Clock::time_point deadline_ = Clock::now() + kWaitForHolders;
  std::chrono::microseconds pause_{500};
};

}  // namespace

LockOutcome AcquireShareLock(int fd, ShareLock lock, bool writable, const std::string& path,
                             const KeepWaiting& keepWaiting) {
  if (lock == ShareLock::kNone) return LockOutcome::kHeld;
  Waiter waiter(keepWaiting);
  if (lock == ShareLock::kShared) {
    // A reader passes the gate only while no writer waits, and does not
    // stay in it while it waits itself.
    do {
      if (!TryGate(fd, F_RDLCK, path)) continue;
      const bool held = TryFlock(fd, LOCK_SH, path);
      OpenGate(fd, path);
      if (held) return LockOutcome::kHeld;
    } while (waiter.Again());
    return LockOutcome::kInUse;
  }
  // A writer that cannot close the gate (a file opened for reading only)
  // waits without it.
  bool gated = false;
  while (writable && !(gated = TryGate(fd, F_WRLCK, path)))
    if (!waiter.Again()) return LockOutcome::kInUse;
  do {
    if (TryFlock(fd, LOCK_EX, path)) {
      if (gated) OpenGate(fd, path);
      return LockOutcome::kHeld;
    }
  } while (waiter.Again());
  if (gated) OpenGate(fd, path);
  return LockOutcome::kInUse;
}

}  // namespace cfb
