// The listing cursor and the per-entry operations behind ProcessFile.
#include "platform/os.h"
#include "wcx/archive_tree.h"
#include "wcx/extract_item.h"

namespace wcx {

int32_t TqorWCXDir::NextHeader(tHeaderDataEx& header) {
  if (!FCurrent) {
    try {
      Open();
    } catch (...) {
      Close();
      return E_EREAD;
    }
    if (FItems.empty()) {
      Close();
      return E_END_ARCHIVE;
    }
    FCurrent = FItems.front();
    FCurrent->GetHeaderData(header);
    return 0;
  }
  // A sub-folder that ends, or fails to open, has closed itself already.
  if (TqorWCXDir* folder = FCurrent->AsDir())
    if (folder->NextHeader(header) == 0) return 0;
  int32_t index = FCurrent->IndexInParent();
  if (index < ItemCount() - 1) {
    FCurrent = FItems[static_cast<size_t>(index) + 1];
    FCurrent->GetHeaderData(header);
    return 0;
  }
  Close();
  return E_END_ARCHIVE;
}

int32_t TqorWCXDir::ProcessCurrent(int32_t operation, const char* destPath,
                                   const char* destName) {
  std::string target = destName ? destName : "";
  if (destPath) target = destPath + target;
  try {
    TqorWCXFile* item = CurrentItem();
    if (!item) return E_NO_FILES;
    switch (operation) {
      case PK_SKIP:
        return 0;
      case PK_TEST:
        return item->TestItem();
      case PK_EXTRACT:
        return ExtractItem(*item, target);
      case OP_DELETE:
        return item->DeleteItem();
      default:
        return E_NOT_SUPPORTED;
    }
  } catch (...) {
    return E_EREAD;
  }
}

}  // namespace wcx
