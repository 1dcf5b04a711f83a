// The disk files and folders to pack, gathered as Double Commander hands them
// to PackFiles: grouped by the folder they lie in (SrcPath), with names
// relative to that folder; a folder is listed with a trailing delimiter and
// followed by everything inside it, every file named.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wcxhost {

struct PackGroup {
  std::string source_folder;  // absolute, ends with the delimiter
  // The AddList as PackFiles takes it: every name ended by a zero, and an
  // empty name at the end. One buffer, not a string per name: a folder of a
  // million files lists them all.
  std::string names{'\0'};
  size_t name_count = 0;
  std::vector<std::filesystem::path> folders;  // every folder listed, parents first
  uint64_t total_bytes = 0;

  void AddName(std::string_view name) {
    names.insert(names.size() - 1, name).insert(names.size() - 1, 1, '\0');
    ++name_count;
  }
};

// Throws HostError for a source that does not exist or cannot be read, and
// for two sources that would be stored under the same name. The archive
// itself is left out when it lies among the sources.
std::vector<PackGroup> CollectPackSources(const std::vector<std::string>& sources, const std::string& archive);

}  // namespace wcxhost
