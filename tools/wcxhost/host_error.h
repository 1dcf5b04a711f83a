// A failure the host reports to the user: one line of text and the exit
// status of the process.
#pragma once

#include <stdexcept>
#include <string>

namespace wcxhost {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,       // the operation failed, or `check` answered no
  kExitUsage = 2,        // the command line is wrong
  kExitPlugin = 3,       // the plug-in cannot be loaded or lacks a function
  kExitCancelled = 130,  // the user cancelled, as a shell reports SIGINT
};

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message, int exit_status = kExitFailed)
      : std::runtime_error(message), exit_status_(exit_status) {}

  int exit_status() const { return exit_status_; }

 private:
  int exit_status_;
};

// The name in quotes, as messages show file and entry names.
inline std::string Quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace wcxhost
