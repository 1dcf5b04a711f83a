#include "storage/task_memory.h"

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

StatCopy::~StatCopy() {
  if (stat_.pwcsName) {
    try {
      FreeTaskMemory(stat_.pwcsName);
    } catch (...) {
    }
  }
}

}  // namespace storage
