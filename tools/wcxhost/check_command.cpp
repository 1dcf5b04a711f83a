#include <filesystem>
#include <iostream>

#include "commands.h"
#include "host_error.h"
#include "host_system.h"

namespace wcxhost {

int RunCheck(const Plugin& plugin, const std::string& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw HostError("cannot find file " + Quoted(file));
  std::string full_path = sys::PathString(std::filesystem::absolute(file));
  bool handled = plugin.CanHandle(full_path);
  std::cout << file << (handled ? ": the plug-in handles this file\n" : ": the plug-in does not handle this file\n");
  return handled ? kExitOk : kExitFailed;
}

}  // namespace wcxhost
