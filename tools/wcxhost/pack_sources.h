// The disk files and folders to pack, gathered as Double Commander hands them
// to PackFiles: grouped by the folder they lie in (SrcPath), with names
// relative to that folder; a folder is listed with a trailing delimiter and
// followed by everything inside it, every file named.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace wcxhost {

struct PackGroup {
  std::string source_folder;                   // absolute, ends with the delimiter
  std::vector<std::string> names;              // the AddList
  std::vector<std::filesystem::path> folders;  // every folder listed, parents first
  uint64_t total_bytes = 0;
};

// Throws HostError for a source that does not exist or cannot be read, and
// for two sources that would be stored under the same name. The archive
// itself is left out when it lies among the sources.
std::vector<PackGroup> CollectPackSources(const std::vector<std::string>& sources, const std::string& archive);

}  // namespace wcxhost
