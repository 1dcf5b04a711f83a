// The operating-system calls of the host: loading a library, the terminal,
// Ctrl-C, the executable's own path and local time. One implementation file
// per system; the rest of the host is portable.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace wcxhost::sys {

// A shared library loaded for the lifetime of the object.
class DynamicLibrary {
 public:
  // Throws std::runtime_error with the system's reason when loading fails.
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The exported symbol, or null when the library does not export it.
  void* Symbol(const char* name) const;

 private:
  void* handle_;
};

bool StderrIsTerminal();

// Runs `handler` at the first Ctrl-C; it must be async-signal-safe. A second
// Ctrl-C ends the process the system's way, so a plug-in that never looks at
// the cancel request can still be stopped.
void OnInterrupt(void (*handler)());

// The running executable's full path; empty when the system does not say.
std::string ExecutablePath();

std::tm LocalTime(std::time_t time);

// A path as the plug-in takes names: in the ANSI code page on Windows (where
// path::string() would give UTF-8), as it is elsewhere.
std::string PathString(const std::filesystem::path& path);

// What a folder holds, in the order the system lists it: each child's name,
// what it is and a file's size (0 when it cannot be measured). Links found
// there are not followed to folders; a link to a file is that file. On
// POSIX each child is looked up in the folder held open (fstatat), as tar
// does: a look-up along the full path per file cost a folder of a million
// files seconds. A folder that cannot be read sets error.
struct FolderChild {
  enum class Kind { kFile, kFolder, kOther };
  std::filesystem::path name;
  Kind kind = Kind::kOther;
  uint64_t size = 0;
};
std::vector<FolderChild> ReadFolder(const std::filesystem::path& folder, std::error_code& error);

// The host's strings in UTF-16, for the plug-in's W functions, and back:
// the ANSI code page on Windows (what it cannot hold comes back as #XXXX
// escapes); elsewhere UTF-8, as Double Commander's.
std::u16string ToWide(const std::string& text);
std::string FromWide(std::u16string_view text);

}  // namespace wcxhost::sys
