#include <filesystem>

#include "catalog.h"
#include "commands.h"
#include "host_conventions.h"
#include "host_system.h"
#include "progress.h"
#include "wcx_results.h"

namespace wcxhost {

int RunDelete(const Plugin& plugin, const std::string& archive, const std::vector<std::string>& paths) {
  plugin.CheckDeleting();
  RequireArchiveFile(archive);
  std::vector<Entry> catalog = ReadCatalog(plugin, archive);
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    std::string archive_path = ToArchivePath(path);
    switch (FindPath(catalog, archive_path)) {
      case PathKind::kMissing:
        throw HostError("no entry " + Quoted(path) + " in archive " + Quoted(archive));
      case PathKind::kFolder:
        // A folder goes with everything in it, named the way the host names it.
        names.push_back(archive_path + kArchiveDelim + "*.*");
        break;
      case PathKind::kFile:
        names.push_back(archive_path);
        break;
    }
  }

  std::string archive_path = sys::PathString(std::filesystem::absolute(archive));
  ProgressScope progress(0);
  plugin.SetCallbacks(wcx::kGlobalHandle);
  if (int32_t result = plugin.Delete(archive_path, names); result != 0) {
    throw ResultError("cannot delete from archive " + Quoted(archive), result);
  }
  if (CancelRequested()) throw HostError("deleting from archive " + Quoted(archive) + " cancelled", kExitCancelled);
  return kExitOk;
}

}  // namespace wcxhost
