#include "storage/open_queue.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "rtl/file_names.h"
#include "rtl/no_destructor.h"
#include "storage/struct_storage.h"

namespace storage {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWaitForHolders = std::chrono::seconds(2);
constexpr auto kPause = std::chrono::milliseconds(10);

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

}  // namespace

HRESULT OpenWaitingForHolders(const std::string& fileName, OpenRole role,
                              const std::function<HRESULT()>& open) {
  const Clock::time_point deadline = Clock::now() + kWaitForHolders;
  const std::string key = rtl::LowerCaseFileName(fileName);
  if (role == OpenRole::kReader) Writers().LetThemGoFirst(key, deadline);
  HRESULT hr = open();
  if (!IsShareConflict(hr) || role == OpenRole::kReader) {
    // A reader that meets a holder waits out of the way, behind writers.
    while (IsShareConflict(hr) && Clock::now() < deadline) {
      std::this_thread::sleep_for(kPause);
      Writers().LetThemGoFirst(key, deadline);
      hr = open();
    }
    return hr;
  }
  WaitingWriter announced(key);
  while (IsShareConflict(hr) && Clock::now() < deadline) {
    std::this_thread::sleep_for(kPause);
    hr = open();
  }
  return hr;
}

}  // namespace storage
