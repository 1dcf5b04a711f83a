// The WCX functions the host calls, in the 8-bit form and in the Unicode (W)
// form that hosts prefer when a plug-in has it. Both forms share one body
// each: they convert the host's strings to the plug-in's UTF-8 and back
// (wcx/host_strings.h), route per-archive calls to the archive root whose
// address is the handle and global calls to the root controller, and turn
// every exception into a result code: nothing thrown inside the plug-in
// reaches the host.
#include <cstring>

#include "wcx/archive_tree.h"
#include "wcx/host_strings.h"
#include "wcx/plugin_settings.h"
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

template <class OpenData>
HANDLE Open(OpenData* archiveData) {
  try {
    return WCXRoot()
        ->OpenRoot(FromHost(archiveData->ArcName), archiveData->OpenMode, false)
        .release();
  } catch (...) {
    try {
      archiveData->OpenResult = E_EOPEN;
    } catch (...) {
    }
    return nullptr;
  }
}

template <class Header>
int32_t ReadHeaderInto(HANDLE hArcData, Header* headerData) {
  try {
    std::memset(headerData, 0, sizeof *headerData);
    EntryHeader header;
    const int32_t result = RootOf(hArcData)->NextHeader(header);
    if (result == 0) FillHostHeader(header, *headerData);
    return result;
  } catch (...) {
    return E_EREAD;
  }
}

template <class Char>
int32_t Process(HANDLE hArcData, int32_t operation, const Char* destPath, const Char* destName) {
  if (static_cast<uint32_t>(operation) >= 3) return E_NOT_SUPPORTED;
  try {
    // A null DestPath adds nothing to the target, as an empty one.
    return RootOf(hArcData)->ProcessCurrent(operation, FromHost(destPath).c_str(),
                                            FromHost(destName).c_str());
  } catch (...) {
    return E_EREAD;
  }
}

template <class Proc>
void SetChangeVol(HANDLE hArcData, Proc proc) {
  if (hArcData == kGlobalHandle)
    WCXRoot()->SetGlobalChangeVolProc(proc);
  else
    RootOf(hArcData)->SetChangeVolCallback(proc);
}

template <class Proc>
void SetProcessData(HANDLE hArcData, Proc proc) {
  if (hArcData == kGlobalHandle)
    WCXRoot()->SetGlobalProcessDataProc(proc);
  else
    RootOf(hArcData)->SetProcessDataCallback(proc);
}

template <class Char>
int32_t CanHandle(const Char* fileName) {
  try {
    return WCXRoot()->CanHandle(FromHost(fileName)) ? -1 : 0;
  } catch (...) {
    return 0;
  }
}

template <class Char>
int32_t Pack(const Char* packedFile, const Char* subPath, const Char* srcPath, const Char* addList,
             int32_t flags) {
  try {
    std::string holder;
    const ListedNames names = PackListFromHost(addList, holder);
    return WCXRoot()->DoPackFiles(FromHost(packedFile), FromHost(subPath), FromHost(srcPath), names,
                                  flags);
  } catch (...) {
    return E_EWRITE;
  }
}

template <class Char>
int32_t Delete(const Char* packedFile, const Char* deleteList) {
  try {
    return WCXRoot()->DoDeleteFiles(FromHost(packedFile), ListFromHost(deleteList).c_str());
  } catch (...) {
    return E_EREAD;
  }
}

}  // namespace

WCX_EXPORT HANDLE WCX_API OpenArchive(tOpenArchiveData* archiveData) { return Open(archiveData); }

WCX_EXPORT HANDLE WCX_API OpenArchiveW(tOpenArchiveDataW* archiveData) { return Open(archiveData); }

WCX_EXPORT int32_t WCX_API ReadHeaderEx(HANDLE hArcData, tHeaderDataEx* headerData) {
  return ReadHeaderInto(hArcData, headerData);
}

WCX_EXPORT int32_t WCX_API ReadHeaderExW(HANDLE hArcData, tHeaderDataExW* headerData) {
  return ReadHeaderInto(hArcData, headerData);
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
  return Process(hArcData, operation, destPath, destName);
}

WCX_EXPORT int32_t WCX_API ProcessFileW(HANDLE hArcData, int32_t operation, WCHAR* destPath,
                                        WCHAR* destName) {
  return Process(hArcData, operation, destPath, destName);
}

WCX_EXPORT int32_t WCX_API CloseArchive(HANDLE hArcData) {
  delete RootOf(hArcData);  // destructors do not throw
  return 0;
}

WCX_EXPORT void WCX_API SetChangeVolProc(HANDLE hArcData, tChangeVolProc proc) {
  SetChangeVol(hArcData, proc);
}

WCX_EXPORT void WCX_API SetChangeVolProcW(HANDLE hArcData, tChangeVolProcW proc) {
  SetChangeVol(hArcData, proc);
}

WCX_EXPORT void WCX_API SetProcessDataProc(HANDLE hArcData, tProcessDataProc proc) {
  SetProcessData(hArcData, proc);
}

WCX_EXPORT void WCX_API SetProcessDataProcW(HANDLE hArcData, tProcessDataProcW proc) {
  SetProcessData(hArcData, proc);
}

WCX_EXPORT int32_t WCX_API GetPackerCaps() {
  constexpr int32_t kAlways = PK_CAPS_NEW | PK_CAPS_MODIFY | PK_CAPS_DELETE | PK_CAPS_BY_CONTENT;
  try {
    return WCXRoot()->GetCaps() | kAlways;
  } catch (...) {
    return kAlways;
  }
}

// Every export keeps its state per archive handle or per thread, so hosts
// may list, extract, pack and delete in threads of their own. In-memory
// packing is not offered at all.
WCX_EXPORT int32_t WCX_API GetBackgroundFlags() { return BACKGROUND_UNPACK | BACKGROUND_PACK; }

// The host names the ini file where its plug-ins keep their settings
// (section [qorStorageWCX]). A record too short to hold the name is ignored.
WCX_EXPORT void WCX_API PackSetDefaultParams(PackDefaultParamStruct* dps) {
  try {
    if (!dps || dps->size < static_cast<int32_t>(sizeof *dps)) return;
    const char* name = dps->DefaultIniName;
    SetSettingsFile(FromHost(std::string(name, strnlen(name, sizeof dps->DefaultIniName)).c_str()));
  } catch (...) {
  }
}

WCX_EXPORT int32_t WCX_API CanYouHandleThisFile(char* fileName) { return CanHandle(fileName); }

WCX_EXPORT int32_t WCX_API CanYouHandleThisFileW(WCHAR* fileName) { return CanHandle(fileName); }

WCX_EXPORT int32_t WCX_API PackFiles(char* packedFile, char* subPath, char* srcPath,
                                     char* addList, int32_t flags) {
  return Pack(packedFile, subPath, srcPath, addList, flags);
}

WCX_EXPORT int32_t WCX_API PackFilesW(WCHAR* packedFile, WCHAR* subPath, WCHAR* srcPath,
                                      WCHAR* addList, int32_t flags) {
  return Pack(packedFile, subPath, srcPath, addList, flags);
}

WCX_EXPORT int32_t WCX_API DeleteFiles(char* packedFile, char* deleteList) {
  return Delete(packedFile, deleteList);
}

WCX_EXPORT int32_t WCX_API DeleteFilesW(WCHAR* packedFile, WCHAR* deleteList) {
  return Delete(packedFile, deleteList);
}
