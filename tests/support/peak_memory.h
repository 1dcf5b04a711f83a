// How far this process's memory rose since Start: for bounds on what a
// crafted file may cost. Under the address sanitizer freed memory waits in
// a quarantine and the resident size says little, so the heap's live bytes
// are followed there; elsewhere the resident size's high-water mark counts.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
extern "C" {
size_t __sanitizer_get_current_allocated_bytes();
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
}
#endif

namespace testing_support {

class PeakMemory {
 public:
  // Once per process: a child process of the test's own is the place.
  static void Start() {
#if defined(__SANITIZE_ADDRESS__)
    start_ = peak_ = __sanitizer_get_current_allocated_bytes();
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, [](const volatile void*) {});
#else
    start_ = HighWaterMark();
#endif
  }
  static uint64_t Growth() {
#if defined(__SANITIZE_ADDRESS__)
    return peak_ - start_;
#else
    return HighWaterMark() - start_;
#endif
  }

 private:
#if defined(__SANITIZE_ADDRESS__)
  static void OnMalloc(const volatile void*, size_t) {
    const size_t now = __sanitizer_get_current_allocated_bytes();
    size_t peak = peak_.load();
    while (now > peak && !peak_.compare_exchange_weak(peak, now)) {
    }
  }
  static inline std::atomic<size_t> peak_{0};
#endif
  static uint64_t HighWaterMark() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
  }
  static inline uint64_t start_ = 0;
};

}  // namespace testing_support
