// The structured-storage API on the project's compound-file engine.
// Placeholders until the engine is in.
#include "platform/ole.h"

HRESULT StgIsStorageFile(const OLECHAR*) { return STG_E_UNIMPLEMENTEDFUNCTION; }
HRESULT StgOpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) {
  return STG_E_UNIMPLEMENTEDFUNCTION;
}
HRESULT StgCreateDocfile(const OLECHAR*, DWORD, DWORD, IStorage**) {
  return STG_E_UNIMPLEMENTEDFUNCTION;
}
HRESULT CoGetMalloc(DWORD, IMalloc**) { return STG_E_UNIMPLEMENTEDFUNCTION; }
