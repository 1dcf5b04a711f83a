// The host's subcommands. Each returns the exit status, or throws HostError.
#pragma once

#include <string>
#include <vector>

#include "host_error.h"
#include "plugin.h"

namespace wcxhost {

int RunCaps(const Plugin& plugin);
int RunCheck(const Plugin& plugin, const std::string& file);
int RunList(const Plugin& plugin, const std::string& archive, bool long_format);
int RunTest(const Plugin& plugin, const std::string& archive);

struct ExtractOptions {
  std::string archive;
  std::string directory = ".";
  std::vector<std::string> paths;  // empty: everything
};
int RunExtract(const Plugin& plugin, const ExtractOptions& options);

struct AddOptions {
  std::string archive;
  std::string into;  // empty: the archive's root
  bool move = false;
  std::vector<std::string> sources;
};
int RunAdd(const Plugin& plugin, const AddOptions& options);

int RunDelete(const Plugin& plugin, const std::string& archive, const std::vector<std::string>& paths);

}  // namespace wcxhost
