// An owning, counted reference to a COM-shaped interface: AddRef on copy,
// Release when it goes away.
#pragma once

#include <utility>

namespace platform {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Takes over a reference that the caller already holds (an out-parameter
  // of a COM call).
  static ComPtr Adopt(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }

  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // Releases the current reference and returns the address to receive a new
  // one from a COM call.
  T** Receive() {
    Reset();
    return &p_;
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace platform
