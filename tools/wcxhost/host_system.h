// The operating-system calls of the host: loading a library, the terminal,
// Ctrl-C, the executable's own path and local time. One implementation file
// per system; the rest of the host is portable.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

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

// The host's strings in UTF-16, for the plug-in's W functions, and back:
// the ANSI code page on Windows (what it cannot hold comes back as #XXXX
// escapes); elsewhere UTF-8, as Double Commander's.
std::u16string ToWide(const std::string& text);
std::string FromWide(std::u16string_view text);

}  // namespace wcxhost::sys
