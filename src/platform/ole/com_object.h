// Reference counting and QueryInterface for the COM-shaped objects.
#pragma once

#include <atomic>
#include <initializer_list>

#include "platform/ole.h"

namespace platform::ole {

template <class Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!Supports(riid)) return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  virtual bool Supports(REFIID riid) const = 0;

  static bool OneOf(REFIID riid, std::initializer_list<IID> ids) {
    for (const IID& id : ids)
      if (riid == id) return true;
    return false;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace platform::ole
