// The entries of an archive, read in one listing pass, and the look-ups the
// commands make in them for paths the user names.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive_session.h"

namespace wcxhost {

// Throws HostError unless `archive` names an existing file.
void RequireArchiveFile(const std::string& archive);

// Lists the archive as the host does: every header is followed by
// ProcessFile(PK_SKIP, null, ""). `visit` sees each entry in turn.
void ListArchive(const Plugin& plugin, const std::string& archive,
                 const std::function<void(Entry&)>& visit);

// Every entry of the archive, listed as above.
std::vector<Entry> ReadCatalog(const Plugin& plugin, const std::string& archive);

// True when the entry is `selected` (an archive path) or lies below it.
bool IsAtOrBelow(const Entry& entry, const std::string& selected);

enum class PathKind { kMissing, kFile, kFolder };

// What `archive_path` names in the catalog. A path that only appears as the
// parent of other entries is a folder too: some plug-ins list no folders.
PathKind FindPath(const std::vector<Entry>& catalog, const std::string& archive_path);

}  // namespace wcxhost
