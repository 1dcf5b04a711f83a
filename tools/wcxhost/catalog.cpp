#include "catalog.h"

#include <filesystem>

#include "host_conventions.h"
#include "host_error.h"

namespace wcxhost {

void RequireArchiveFile(const std::string& archive) {
  std::error_code error;
  auto status = std::filesystem::status(archive, error);
  if (!std::filesystem::exists(status)) throw HostError("cannot find archive " + Quoted(archive));
  if (std::filesystem::is_directory(status))
    throw HostError(Quoted(archive) + " is a folder, not an archive");
}

void ListArchive(const Plugin& plugin, const std::string& archive,
                 const std::function<void(Entry&)>& visit) {
  ArchiveSession session(plugin, archive, wcx::PK_OM_LIST);
  Entry entry;
  while (session.NextEntry(entry)) {
    session.Skip(entry);
    visit(entry);
  }
  session.Close();
}

std::vector<Entry> ReadCatalog(const Plugin& plugin, const std::string& archive) {
  std::vector<Entry> catalog;
  ListArchive(plugin, archive, [&](Entry& entry) { catalog.push_back(std::move(entry)); });
  return catalog;
}

bool IsAtOrBelow(const Entry& entry, const std::string& selected) {
  std::string path = ToArchivePath(entry.path);
  return path.starts_with(selected) &&
         (path.size() == selected.size() || path[selected.size()] == kArchiveDelim);
}

PathKind FindPath(const std::vector<Entry>& catalog, const std::string& archive_path) {
  if (archive_path.empty()) return PathKind::kMissing;
  PathKind kind = PathKind::kMissing;
  for (const Entry& entry : catalog) {
    if (!IsAtOrBelow(entry, archive_path)) continue;
    if (ToArchivePath(entry.path).size() > archive_path.size()) return PathKind::kFolder;
    kind = entry.folder ? PathKind::kFolder : PathKind::kFile;
  }
  return kind;
}

}  // namespace wcxhost
