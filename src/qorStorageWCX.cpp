// The WCX functions the host calls. They convert arguments, route per-archive
// calls to the archive root whose address is the handle and global calls to
// the root controller, and turn every exception into a result code: nothing
// thrown inside the plug-in reaches the host.
#include <cstring>

#include "wcx/archive_tree.h"
#include "wcx/wcx_api.h"
#include "wcx/wcx_root.h"

#if defined(_WIN32)
#define WCX_EXPORT extern "C" __declspec(dllexport)
#else
#define WCX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace wcx;

namespace {

TqorWCXDir* RootOf(HANDLE handle) { return static_cast<TqorWCXDir*>(handle); }

std::string ToString(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

WCX_EXPORT HANDLE WCX_API OpenArchive(tOpenArchiveData* archiveData) {
  try {
    return WCXRoot()->OpenRoot(*archiveData, false).release();
  } catch (...) {
    try {
      archiveData->OpenResult = E_EOPEN;
    } catch (...) {
    }
    return nullptr;
  }
}

WCX_EXPORT int32_t WCX_API ReadHeaderEx(HANDLE hArcData, tHeaderDataEx* headerData) {
  try {
    std::memset(headerData, 0, sizeof *headerData);
    return RootOf(hArcData)->NextHeader(*headerData);
  } catch (...) {
    return E_EREAD;
  }
}

WCX_EXPORT int32_t WCX_API ReadHeader(HANDLE hArcData, tHeaderData* headerData) {
  std::memset(headerData, 0, sizeof *headerData);
  tHeaderDataEx ex;
  int32_t result = ReadHeaderEx(hArcData, &ex);
  std::memcpy(headerData->FileName, ex.FileName, sizeof headerData->FileName);
  headerData->FileName[sizeof headerData->FileName - 1] = '\0';
  headerData->Flags = ex.Flags;
  headerData->PackSize = static_cast<int32_t>(ex.PackSize);
  headerData->UnpSize = static_cast<int32_t>(ex.UnpSize);
  headerData->HostOS = ex.HostOS;
  headerData->FileCRC = ex.FileCRC;
  headerData->FileTime = ex.FileTime;
  headerData->UnpVer = ex.UnpVer;
  headerData->Method = ex.Method;
  headerData->FileAttr = ex.FileAttr;
  return result;
}

WCX_EXPORT int32_t WCX_API ProcessFile(HANDLE hArcData, int32_t operation, char* destPath,
                                       char* destName) {
  if (static_cast<uint32_t>(operation) >= 3) return E_NOT_SUPPORTED;
  try {
    return RootOf(hArcData)->ProcessCurrent(operation, destPath, destName);
  } catch (...) {
    return E_EREAD;
  }
}

WCX_EXPORT int32_t WCX_API CloseArchive(HANDLE hArcData) {
  delete RootOf(hArcData);  // destructors do not throw
  return 0;
}

WCX_EXPORT void WCX_API SetChangeVolProc(HANDLE hArcData, tChangeVolProc proc) {
  if (hArcData == kGlobalHandle)
    WCXRoot()->SetGlobalChangeVolProc(proc);
  else
    RootOf(hArcData)->SetChangeVolCallback(proc);
}

WCX_EXPORT void WCX_API SetProcessDataProc(HANDLE hArcData, tProcessDataProc proc) {
  if (hArcData == kGlobalHandle)
    WCXRoot()->SetGlobalProcessDataProc(proc);
  else
    RootOf(hArcData)->SetProcessDataCallback(proc);
}

WCX_EXPORT int32_t WCX_API GetPackerCaps() {
  constexpr int32_t kAlways = PK_CAPS_NEW | PK_CAPS_MODIFY | PK_CAPS_DELETE | PK_CAPS_BY_CONTENT;
  try {
    return WCXRoot()->GetCaps() | kAlways;
  } catch (...) {
    return kAlways;
  }
}

WCX_EXPORT int32_t WCX_API CanYouHandleThisFile(char* fileName) {
  try {
    return WCXRoot()->CanHandle(ToString(fileName)) ? -1 : 0;
  } catch (...) {
    return 0;
  }
}

WCX_EXPORT int32_t WCX_API PackFiles(char* packedFile, char* subPath, char* srcPath,
                                     char* addList, int32_t flags) {
  try {
    return WCXRoot()->DoPackFiles(ToString(packedFile), ToString(subPath), ToString(srcPath),
                                  addList, flags);
  } catch (...) {
    return E_EWRITE;
  }
}

WCX_EXPORT int32_t WCX_API DeleteFiles(char* packedFile, char* deleteList) {
  try {
    return WCXRoot()->DoDeleteFiles(ToString(packedFile), deleteList);
  } catch (...) {
    return E_EREAD;
  }
}
