#include <filesystem>
#include <iostream>
#include <utility>

#include "commands.h"
#include "host_conventions.h"
#include "host_system.h"
#include "pack_sources.h"
#include "progress.h"
#include "wcx_results.h"

namespace fs = std::filesystem;

namespace wcxhost {
namespace {

// After a move the plug-in has deleted the files; the folders they were in
// go too when nothing is left in them.
void RemoveEmptyFolders(const std::vector<PackGroup>& groups) {
  for (const PackGroup& group : groups) {
    for (auto folder = group.folders.rbegin(); folder != group.folders.rend(); ++folder) {
      std::error_code ignored;
      fs::remove(*folder, ignored);
    }
  }
}

// A quiet success would leave the user to list the archive to see what
// happened.
void ReportStored(const std::vector<PackGroup>& groups, const std::string& archive, bool moved) {
  size_t files = 0;
  size_t folders = 0;
  uint64_t bytes = 0;
  for (const PackGroup& group : groups) {
    folders += group.folders.size();
    files += group.name_count - group.folders.size();
    bytes += group.total_bytes;
  }
  std::cout << (moved ? "moved " : "stored ") << files << (files == 1 ? " file (" : " files (") << bytes
            << " bytes) and " << folders << (folders == 1 ? " folder" : " folders") << " into "
            << Quoted(archive) << '\n';
}

}  // namespace

int RunAdd(const Plugin& plugin, const AddOptions& options) {
  plugin.CheckPacking();
  const std::string& archive = options.archive;
  std::error_code error;
  if (fs::is_directory(archive, error)) throw HostError(Quoted(archive) + " is a folder, not an archive");

  std::vector<PackGroup> groups = CollectPackSources(options.sources, archive);
  uint64_t total_bytes = 0;
  bool anything = false;
  for (const PackGroup& group : groups) {
    total_bytes += group.total_bytes;
    anything = anything || group.name_count > 0;
  }
  if (!anything) throw HostError("nothing to add to archive " + Quoted(archive));

  std::string archive_path = sys::PathString(fs::absolute(archive));
  std::string sub_path = ToArchivePath(options.into);
  int32_t flags = wcx::PK_PACK_SAVE_PATHS | (options.move ? wcx::PK_PACK_MOVE_FILES : 0);
  ProgressScope progress(total_bytes);
  for (PackGroup& group : groups) {
    if (group.name_count == 0) continue;
    if (CancelRequested()) throw HostError("adding to archive " + Quoted(archive) + " cancelled", kExitCancelled);
    plugin.SetCallbacks(wcx::kGlobalHandle);
    int32_t result = plugin.Pack(archive_path, sub_path, group.source_folder, std::move(group.names), flags);
    if (result != 0) throw ResultError("cannot add to archive " + Quoted(archive), result);
  }
  if (options.move) RemoveEmptyFolders(groups);
  if (CancelRequested()) throw HostError("adding to archive " + Quoted(archive) + " cancelled", kExitCancelled);
  ReportStored(groups, archive, options.move);
  return kExitOk;
}

}  // namespace wcxhost
