#include <dlfcn.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <stdexcept>

#include "host_system.h"
#include "platform/unicode.h"

namespace wcxhost::sys {

DynamicLibrary::DynamicLibrary(const std::string& path)
    // RTLD_NOW: a plug-in with unresolved symbols fails here, not mid-operation.
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    throw std::runtime_error(reason != nullptr ? reason : "unknown reason");
  }
}

DynamicLibrary::~DynamicLibrary() { dlclose(handle_); }

void* DynamicLibrary::Symbol(const char* name) const { return dlsym(handle_, name); }

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

namespace {
void (*interrupt_handler)() = nullptr;

extern "C" void OnSigint(int) { interrupt_handler(); }
}  // namespace

void OnInterrupt(void (*handler)()) {
  interrupt_handler = handler;
  struct sigaction action {};
  action.sa_handler = OnSigint;
  sigemptyset(&action.sa_mask);
  // SA_RESTART keeps the plug-in's reads and writes from failing with EINTR;
  // SA_RESETHAND lets the second Ctrl-C end the process.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::tm LocalTime(std::time_t time) {
  std::tm result{};
  localtime_r(&time, &result);
  return result;
}

std::string PathString(const std::filesystem::path& path) { return path.string(); }

std::u16string ToWide(const std::string& text) { return platform::Utf8ToUtf16(text); }

std::string FromWide(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

}  // namespace wcxhost::sys
