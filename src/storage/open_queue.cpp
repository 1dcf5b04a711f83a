#include "storage/open_queue.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

#include "platform/os.h"
#include "platform/unicode.h"
#include "rtl/no_destructor.h"

namespace storage {
namespace {

using Clock = std::chrono::steady_clock;

// A reader asks no one: long enough for another program's listing or small
// change to finish.
constexpr auto kReaderWait = std::chrono::seconds(2);
// A writer whose host gave no way to ask the user: a change of a large
// archive may take this long, but a user with nothing to cancel must hear
// that the archive is busy some time.
constexpr auto kUnaskedWriterWait = std::chrono::seconds(30);
// Often enough for a host's cancel button to answer at once.
constexpr auto kAskEvery = std::chrono::milliseconds(200);

// The writers of this process that wait for a file, by its name.
class WaitingWriters {
 public:
  void Add(const std::string& key) {
    std::lock_guard lock(mutex_);
    ++count_[key];
  }
  void Remove(const std::string& key) {
    {
      std::lock_guard lock(mutex_);
      if (--count_[key] == 0) count_.erase(key);
    }
    gone_.notify_all();
  }
  // Waits until no writer waits for the file, or until the deadline.
  void LetThemGoFirst(const std::string& key, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    gone_.wait_until(lock, deadline, [&] { return count_.find(key) == count_.end(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable gone_;
  // A map, not a hash table: empty again, it holds no memory, and a library
  // that is unloaded leaves nothing behind.
  std::map<std::string, int> count_;
};

// Never destroyed: a host may end its process while another thread opens.
WaitingWriters& Writers() {
  static rtl::NoDestructor<WaitingWriters> writers;
  return writers.get();
}

class WaitingWriter {
 public:
  explicit WaitingWriter(const std::string& key) : key_(key) { Writers().Add(key_); }
  ~WaitingWriter() { Writers().Remove(key_); }
  WaitingWriter(const WaitingWriter&) = delete;
  WaitingWriter& operator=(const WaitingWriter&) = delete;

 private:
  const std::string key_;
};

Clock::time_point DeadlineOf(OpenRole role, const TStgAskToWait& askToWait) {
  if (role == OpenRole::kReader) return Clock::now() + kReaderWait;
  return askToWait ? Clock::time_point::max() : Clock::now() + kUnaskedWriterWait;
}

// The key of a file in the queue: names that the system takes for one file.
std::string QueueKey(const std::string& fileName) {
  return platform::kWindowsFileNames ? platform::LowerCaseFileName(fileName) : fileName;
}

// One open's wait for its turn.
class Turn {
 public:
  Turn(const std::string& fileName, OpenRole role, const TStgAskToWait& askToWait)
      : key_(QueueKey(fileName)),
        role_(role),
        askToWait_(role == OpenRole::kWriter ? askToWait : TStgAskToWait()),
        deadline_(DeadlineOf(role, askToWait_)) {
    if (role_ == OpenRole::kReader) Writers().LetThemGoFirst(key_, deadline_);
  }

  bool KeepWaiting() {
    if (cancelled_ || Clock::now() >= deadline_) return false;
    if (role_ == OpenRole::kReader) {
      // A reader that meets a holder waits out of the way, behind writers.
      Writers().LetThemGoFirst(key_, deadline_);
      return true;
    }
    if (!announced_) announced_.emplace(key_);
    if (!askToWait_ || Clock::now() < nextAsk_) return true;
    nextAsk_ = Clock::now() + kAskEvery;
    cancelled_ = !askToWait_();
    return !cancelled_;
  }

  bool Cancelled() const { return cancelled_; }

 private:
  const std::string key_;
  const OpenRole role_;
  const TStgAskToWait askToWait_;
  const Clock::time_point deadline_;
  std::optional<WaitingWriter> announced_;
  Clock::time_point nextAsk_;
  bool cancelled_ = false;
};

}  // namespace

HRESULT OpenWaitingForHolders(const std::string& fileName, OpenRole role,
                              const TStgAskToWait& askToWait,
                              const std::function<HRESULT(const QOR_KEEP_WAITING&)>& open) {
  Turn turn(fileName, role, askToWait);
  const HRESULT hr = open([&turn] { return turn.KeepWaiting(); });
  return FAILED(hr) && turn.Cancelled() ? E_ABORT : hr;
}

}  // namespace storage
