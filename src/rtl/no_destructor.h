// A static object that is never destroyed. A host may end its process
// without unloading the plug-in: the C++ runtime then destroys static
// objects before the library's unload code runs, and that code must not
// meet destroyed objects. State that unloading uses lives in one of these.
#pragma once

#include <new>
#include <utility>

namespace rtl {

template <class T>
class NoDestructor {
 public:
  template <class... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  const T& get() const { return *std::launder(reinterpret_cast<const T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace rtl
