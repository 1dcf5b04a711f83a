// The task allocator: the heap that names handed to callers come from.
#include <cstdlib>

#include "platform/ole.h"

namespace {

class TaskAllocator final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = riid == IID_IUnknown || riid == IID_IMalloc ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  // One object for the whole process: counting would change nothing.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  void* STDMETHODCALLTYPE Alloc(size_t cb) override { return CoTaskMemAlloc(cb); }
  void* STDMETHODCALLTYPE Realloc(void* pv, size_t cb) override { return std::realloc(pv, cb); }
  void STDMETHODCALLTYPE Free(void* pv) override { CoTaskMemFree(pv); }
  size_t STDMETHODCALLTYPE GetSize(void*) override { return static_cast<size_t>(-1); }
  int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};

TaskAllocator task_allocator;

}  // namespace

void* CoTaskMemAlloc(size_t cb) {
  return std::malloc(cb == 0 ? 1 : cb);
}

void CoTaskMemFree(void* pv) {
  std::free(pv);
}

HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc) {
  if (!ppMalloc) return E_INVALIDARG;
  *ppMalloc = nullptr;
  if (dwMemContext != MEMCTX_TASK) return E_INVALIDARG;
  *ppMalloc = &task_allocator;
  return S_OK;
}
