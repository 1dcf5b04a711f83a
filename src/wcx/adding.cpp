// Adding disk files and folders below a folder of the archive.
#include "platform/os.h"
#include "wcx/archive_tree.h"

namespace wcx {

int32_t TqorWCXDir::AddPath(const std::string& basePath, std::string relName, bool moveFiles,
                            bool savePaths, bool encrypt) {
  const std::string full = basePath + relName;
  if (full.empty()) return E_NO_FILES;
  if (full.back() != platform::kPathDelim && platform::DirectoryExists(full))
    relName += platform::kPathDelim;
  size_t delim = relName.find(platform::kPathDelim);
  if (delim != std::string::npos)
    return AddSubPath(basePath, relName, delim, moveFiles, savePaths, encrypt);
  ReleaseHeldFolder();
  return AddPlainFile(basePath, relName, moveFiles);
}

int32_t TqorWCXDir::AddSubPath(const std::string& basePath, const std::string& relName,
                               size_t delim, bool moveFiles, bool savePaths, bool encrypt) {
  const std::string head = relName.substr(0, delim);
  const std::string subBase = basePath + head + platform::kPathDelim;
  const std::string rest = relName.substr(delim + 1);

  int32_t index = IndexOfName(head);
  if (index < 0) {
    if (int32_t result = CreateFolder(head); result != 0) return result;
    index = IndexOfName(head);
  }
  // A created folder that the store names differently is not found:
  // Items raises the list-index error.
  TqorWCXDir* sub = Items(index)->AsDir();
  if (!sub) return E_EWRITE;
  if (rest.empty()) return 0;

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
  int32_t result;
  try {
    result = sub->AddPath(subBase, rest, moveFiles, savePaths, encrypt);
  } catch (...) {
    ReleaseHeldFolder();
    throw;
  }
  if (result != 0) ReleaseHeldFolder();
  return result;
}

int32_t TqorWCXDir::AddPlainFile(const std::string& basePath, const std::string& relName,
                                 bool moveFiles) {
  int32_t index = IndexOfName(relName);
  TqorWCXFile* old = index >= 0 ? FItems[static_cast<size_t>(index)] : nullptr;
  if (old && old->AsDir()) return E_EWRITE;

  // AddFile replaces the old element only once the new content is complete,
  // so a failure or a cancel leaves the old entry as it was.
  const size_t countBefore = FItems.size();
  int32_t result = AddFile(basePath, relName);
  if (result != 0) return result;
  if (old) {
    if (FItems.size() > countBefore)
      ReplaceItem(old, FItems.back());
    else
      delete old;
  }
  if (moveFiles) platform::DeleteFile(basePath + relName);
  return 0;
}

}  // namespace wcx
