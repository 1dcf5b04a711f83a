#include "storage/task_memory.h"

#include <atomic>

#include "platform/com_ptr.h"
#include "rtl/exceptions.h"
#include "rtl/no_destructor.h"

namespace storage {
namespace {

std::atomic<bool> gFetched = false;

platform::ComPtr<IMalloc> FetchTaskAllocator() {
  platform::ComPtr<IMalloc> allocator;
  HRESULT hr = CoGetMalloc(MEMCTX_TASK, allocator.Receive());
  if (FAILED(hr)) throw rtl::EOleSysError(hr);
  gFetched = true;
  return allocator;
}

// Fetched once, by whichever thread comes first; the others wait for it.
// A failed fetch leaves it unset, and the next call tries again.
platform::ComPtr<IMalloc>& TaskAllocator() {
  static rtl::NoDestructor<platform::ComPtr<IMalloc>> allocator(FetchTaskAllocator());
  return allocator.get();
}

}  // namespace

void FreeTaskMemory(void* p) {
  platform::ComPtr<IMalloc>& allocator = TaskAllocator();
  // Released at unload: anything freed after that goes the system's way.
  if (allocator)
    allocator->Free(p);
  else
    CoTaskMemFree(p);
}

void ReleaseTaskAllocator() {
  // Unloading before any name was freed fetches nothing.
  if (gFetched.load()) TaskAllocator().Reset();
}

void TaskMemoryFree::operator()(OLECHAR* p) const noexcept {
  try {
    FreeTaskMemory(p);
  } catch (...) {
  }
}

StatCopy::~StatCopy() {
  if (stat_.pwcsName) TaskMemoryFree()(stat_.pwcsName);
}

}  // namespace storage
