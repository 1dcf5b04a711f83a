#include "reader_checks.h"

#include "tool_runner.h"

namespace cfb::testing {

std::string ReaderComplaints(const std::vector<std::string>& files, UnusedTail tail) {
  std::string command = "/usr/bin/python3 " + ShellQuote(CFB_CHECK_SCRIPT);
  if (tail == UnusedTail::kAllowed) command += " --allow-tail";
  for (const std::string& file : files) command += " " + ShellQuote(file);
  const CommandResult result = RunCommand(command + " 2>&1");
  // A run that failed without naming a problem (no interpreter, a crash)
  // must not pass for acceptance.
  if (result.status != 0 && result.output.empty()) return "cfb_check.py did not run: " + command;
  return result.output;
}

std::string ReaderComplaints(const std::string& file) {
  return ReaderComplaints(std::vector<std::string>{file});
}

}  // namespace cfb::testing
