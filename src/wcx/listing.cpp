// The listing cursor and the per-entry operations behind ProcessFile.
#include "platform/os.h"
#include "wcx/archive_tree.h"
#include "wcx/extract_item.h"
#include "wcx/wcx_error.h"

namespace wcx {

int32_t TqorWCXDir::NextHeader(EntryHeader& header) {
  if (!FCurrent) {
    try {
      Open();
    } catch (...) {
      // An archive that another program holds says so (E_EOPEN).
      const int32_t result = CurrentExceptionResult(E_EREAD);
      Close();
      return result;
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

int32_t TqorWCXDir::ProcessCurrent(int32_t operation, const char* destPath, const char* destName) {
  std::string target = destName ? destName : "";
  if (destPath) target = destPath + target;
  try {
    TqorWCXFile* item = CurrentItem();
    if (!item) return E_NO_FILES;
    switch (operation) {
      case PK_SKIP:
        // A host that extracts makes the folders itself and only skips
        // them: a folder whose content cannot be read is reported here.
        return item->AsDir() && GetOpenMode() == PK_OM_EXTRACT ? item->TestItem() : 0;
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
    return CurrentExceptionResult(E_EREAD);
  }
}

}  // namespace wcx
