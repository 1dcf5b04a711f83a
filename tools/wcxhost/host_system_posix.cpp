#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

std::vector<FolderChild> ReadFolder(const std::filesystem::path& folder, std::error_code& error) {
  std::vector<FolderChild> children;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    error.assign(errno, std::generic_category());
    return children;
  }
  const int fd = dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) error.assign(errno, std::generic_category());
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    FolderChild child{name};
    struct stat st;
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN && fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
    if (type == DT_DIR) {
      child.kind = FolderChild::Kind::kFolder;
    } else if (type == DT_REG || type == DT_LNK) {
      // A link counts as the file it leads to; the size is the file's.
      const bool measured = fstatat(fd, name, &st, 0) == 0;
      if (measured && S_ISREG(st.st_mode)) {
        child.kind = FolderChild::Kind::kFile;
        child.size = static_cast<uint64_t>(st.st_size);
      } else if (!measured && type == DT_REG) {
        child.kind = FolderChild::Kind::kFile;
      }
    }
    children.push_back(std::move(child));
  }
  closedir(dir);
  return children;
}

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
