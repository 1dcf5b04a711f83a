// Compaction on Windows: the system's structured storage keeps its own files,
// and a copy made through its CopyTo would lose what it does not copy (the
// times of elements, siblings whose names differ only in case). Files are
// left as they are.
#include "platform/ole.h"

HRESULT QorCompactStorageFile(const OLECHAR* pwcsName, const QOR_COMPACTION* options) {
  if (!pwcsName || !options) return STG_E_INVALIDPOINTER;
  return S_FALSE;
}
