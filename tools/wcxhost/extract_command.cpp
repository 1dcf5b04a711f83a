#include <algorithm>
#include <filesystem>

#include "catalog.h"
#include "commands.h"
#include "host_conventions.h"
#include "host_system.h"
#include "progress.h"
#include "wcx_results.h"

namespace fs = std::filesystem;

namespace wcxhost {
namespace {

void CreateFolders(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw HostError("cannot create folder " + Quoted(sys::PathString(folder)) + ": " + error.message());
}

}  // namespace

int RunExtract(const Plugin& plugin, const ExtractOptions& options) {
  const std::string& archive = options.archive;
  RequireArchiveFile(archive);
  std::vector<std::string> selection;
  for (const std::string& path : options.paths) selection.push_back(ToArchivePath(path));
  auto selected = [&selection](const Entry& entry) {
    return selection.empty() || std::any_of(selection.begin(), selection.end(), [&entry](const std::string& path) {
             return IsAtOrBelow(entry, path);
           });
  };

  std::vector<Entry> catalog = ReadCatalog(plugin, archive);
  for (size_t i = 0; i < selection.size(); ++i) {
    if (FindPath(catalog, selection[i]) == PathKind::kMissing) {
      throw HostError("no entry " + Quoted(options.paths[i]) + " in archive " + Quoted(archive));
    }
  }
  const fs::path target = fs::absolute(options.directory);
  uint64_t total_bytes = 0;
  for (const Entry& entry : catalog) {
    if (!selected(entry)) continue;
    // Nothing is written when any selected entry would escape the target.
    if (!IsContainedPath(entry.path)) {
      throw HostError("refusing to extract " + Quoted(entry.path) + " from archive " + Quoted(archive) +
                      ": it would be written outside " + Quoted(options.directory));
    }
    total_bytes += entry.folder ? 0 : entry.size;
  }

  ProgressScope progress(total_bytes);
  ArchiveSession session(plugin, archive, wcx::PK_OM_EXTRACT);
  Entry entry;
  while (session.NextEntry(entry)) {
    if (CancelRequested()) {
      throw HostError("extracting from archive " + Quoted(archive) + " cancelled", kExitCancelled);
    }
    bool wanted = selected(entry) && IsContainedPath(entry.path);
    // The host makes the folders; the plug-in only writes files.
    if (wanted && entry.folder) CreateFolders(target / entry.path);
    if (!wanted || entry.folder) {
      session.Skip(entry);
      continue;
    }
    fs::path destination = (target / entry.path).lexically_normal();
    CreateFolders(destination.parent_path());
    if (int32_t result = session.Process(wcx::PK_EXTRACT, sys::PathString(destination)); result != 0) {
      throw ResultError("cannot extract " + Quoted(entry.path) + " from archive " + Quoted(archive) + " to " +
                            Quoted(sys::PathString(destination)),
                        result);
    }
  }
  session.Close();
  if (CancelRequested()) throw HostError("extracting from archive " + Quoted(archive) + " cancelled", kExitCancelled);
  return kExitOk;
}

}  // namespace wcxhost
