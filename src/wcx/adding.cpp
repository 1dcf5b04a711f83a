// Adding disk files and folders below a folder of the archive.
#include <utility>

#include "platform/os.h"
#include "wcx/archive_tree.h"

namespace wcx {

int32_t TqorWCXDir::AddPath(const std::string& basePath, std::string relName, bool, bool, bool) {
  const std::string full = basePath + relName;
  if (full.empty()) return E_NO_FILES;
  const bool folder = full.back() == platform::kPathDelim || platform::DirectoryExists(full);
  return AddPath(basePath, std::move(relName), folder ? SourceKind::kFolder : SourceKind::kFile);
}

int32_t TqorWCXDir::AddPath(const std::string& basePath, std::string relName, SourceKind kind) {
  if (kind == SourceKind::kFolder && !relName.empty() && relName.back() != platform::kPathDelim)
    relName += platform::kPathDelim;
  size_t delim = relName.find(platform::kPathDelim);
  if (delim != std::string::npos) return AddSubPath(basePath, relName, delim, kind);
  ReleaseHeldFolder();
  return AddPlainFile(basePath, relName);
}

TqorWCXDir* TqorWCXDir::SubFolderFor(const std::string& head, bool& created, int32_t& result) {
  created = false;
  int32_t index = IndexOfHostName(head);
  if (index < 0) {
    const int32_t countBefore = ItemCount();
    result = CreateFolder(head);
    if (result != 0) return nullptr;
    created = true;
    // The new node, whatever display name the store gave it.
    index = ItemCount() > countBefore ? ItemCount() - 1 : IndexOfHostName(head);
  }
  TqorWCXDir* sub = Items(index)->AsDir();
  if (!sub) result = E_EWRITE;
  return sub;
}

void TqorWCXDir::RemoveIfEmpty(TqorWCXDir* folder) {
  if (folder->IsOpen() && folder->ItemCount() > 0) return;
  if (FHeldOpen == folder) ReleaseHeldFolder();
  if (folder->DeleteItem() == 0) delete folder;
}

int32_t TqorWCXDir::AddSubPath(const std::string& basePath, const std::string& relName,
                               size_t delim, SourceKind kind) {
  const std::string head = relName.substr(0, delim);
  const std::string subBase = basePath + head + platform::kPathDelim;
  const std::string rest = relName.substr(delim + 1);

  bool created = false;
  int32_t result = 0;
  TqorWCXDir* sub = SubFolderFor(head, created, result);
  if (!sub) return result;
  if (rest.empty()) return 0;

  try {
    if (FHeldOpen != sub) {
      ReleaseHeldFolder();
      try {
        sub->Open();
      } catch (...) {
        sub->Close();
        throw;
      }
      FHeldOpen = sub;
    }
    result = sub->AddPath(subBase, rest, kind);
  } catch (...) {
    // A failed add leaves nothing new behind.
    if (created) RemoveIfEmpty(sub);
    ReleaseHeldFolder();
    throw;
  }
  if (result != 0) {
    if (created) RemoveIfEmpty(sub);
    ReleaseHeldFolder();
  }
  return result;
}

int32_t TqorWCXDir::AddPlainFile(const std::string& basePath, const std::string& relName) {
  ListedPlace place{ListedNameOf(relName), -1};
  place.index = IndexOfName(place.name);
  TqorWCXFile* old = place.index >= 0 ? FItems[static_cast<size_t>(place.index)] : nullptr;
  // A name the host did not mark as a folder is looked at on disk only when
  // it cannot be added as a file.
  const auto isFolderOnDisk = [&] { return platform::DirectoryExists(basePath + relName); };
  if (old && old->AsDir())
    return isFolderOnDisk() ? AddPath(basePath, relName, SourceKind::kFolder) : E_EWRITE;

  // AddFile replaces the old element only once the new content is complete,
  // so a failure or a cancel leaves the old entry as it was.
  const size_t countBefore = FItems.size();
  int32_t result = 0;
  try {
    result = AddFile(basePath, relName, place);
  } catch (...) {
    if (!isFolderOnDisk()) throw;
    return AddPath(basePath, relName, SourceKind::kFolder);
  }
  if (result != 0) return result;
  if (old) {
    if (FItems.size() > countBefore)
      ReplaceItem(old, FItems.back());
    else
      delete old;
  }
  return 0;
}

}  // namespace wcx
