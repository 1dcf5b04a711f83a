#include "storage/task_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/com_ptr.h"
#include "rtl/exceptions.h"
#include "rtl/no_destructor.h"

namespace storage {
namespace {

platform::ComPtr<IMalloc>& TaskAllocator() {
  static rtl::NoDestructor<platform::ComPtr<IMalloc>> allocator;
  return allocator.get();
}

}  // namespace

void FreeTaskMemory(void* p) {
  platform::ComPtr<IMalloc>& allocator = TaskAllocator();
  if (!allocator) {
    HRESULT hr = CoGetMalloc(MEMCTX_TASK, allocator.Receive());
    if (FAILED(hr)) throw rtl::EOleSysError(hr);
  }
  allocator->Free(p);
}

void ReleaseTaskAllocator() { TaskAllocator().Reset(); }

void StatDeleter::operator()(STATSTG* stat) const {
  if (stat->pwcsName) {
    try {
      FreeTaskMemory(stat->pwcsName);
    } catch (...) {
    }
  }
  std::free(stat);
}

StatCopy NewStat() {
  void* block = std::calloc(1, sizeof(STATSTG));
  if (!block) throw std::bad_alloc();
  return StatCopy(static_cast<STATSTG*>(block));
}

StatCopy CopyStat(const STATSTG& stat) {
  StatCopy copy = NewStat();
  std::memcpy(copy.get(), &stat, sizeof stat);
  return copy;
}

}  // namespace storage
