// Memory the structured-storage API hands out: element names come from the
// task allocator and go back to it; element descriptions are held by value,
// and own their names.
#pragma once

#include <cstring>
#include <memory>
#include <utility>

#include "platform/ole.h"

namespace storage {

// Frees memory the platform allocated, through the cached task allocator
// (fetched on first use; EOleSysError when there is none).
void FreeTaskMemory(void* p);
// Releases the cached task allocator; at library unload.
void ReleaseTaskAllocator();

struct TaskMemoryFree {
  void operator()(OLECHAR* p) const noexcept;
};
// A name the platform allocated, owned.
using TaskString = std::unique_ptr<OLECHAR, TaskMemoryFree>;

// A STATSTG that owns the task-allocated name in it. Held by value: a
// listing keeps one per entry, and a heap copy of each would cost an
// allocation more.
class StatCopy {
 public:
  StatCopy() { std::memset(&stat_, 0, sizeof stat_); }
  // Takes over stat's name.
  explicit StatCopy(const STATSTG& stat) : stat_(stat) {}
  StatCopy(StatCopy&& other) noexcept : stat_(other.stat_) { other.stat_.pwcsName = nullptr; }
  StatCopy& operator=(StatCopy&& other) noexcept {
    std::swap(stat_, other.stat_);
    return *this;
  }
  ~StatCopy();

  // The name, taken over; the description keeps none.
  TaskString TakeName() { return TaskString(std::exchange(stat_.pwcsName, nullptr)); }
  // Whether a Stat call filled it in, name included.
  explicit operator bool() const { return stat_.pwcsName != nullptr; }
  STATSTG& operator*() { return stat_; }
  const STATSTG& operator*() const { return stat_; }
  STATSTG* operator->() { return &stat_; }
  const STATSTG* operator->() const { return &stat_; }

 private:
  STATSTG stat_;
};

// A zeroed STATSTG to be filled by a Stat call.
inline StatCopy NewStat() { return StatCopy(); }
// The copy takes over stat's name.
inline StatCopy CopyStat(const STATSTG& stat) { return StatCopy(stat); }

}  // namespace storage
