// The structured-storage API in its COM shape. On Windows these are the
// system's own declarations (OLE32). Elsewhere the same shapes are declared
// here and implemented on the project's compound-file engine (src/cfb), so
// that the layers above call one API on every system.
#pragma once

#include <cstdint>
#include <functional>

#ifdef _WIN32
#include <objbase.h>
#include <objidl.h>
#else

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"

using HRESULT = int32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using SNB = OLECHAR**;

#define STDMETHODCALLTYPE

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  int64_t QuadPart;
};

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  uint64_t QuadPart;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMalloc = {
    0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStorage = {
    0x0000000B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IEnumSTATSTG = {
    0x0000000D, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

// The element description. 72 bytes on 32-bit systems, 80 with 64-bit
// pointers.
struct STATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

// ---- Result codes ------------------------------------------------------------

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
#define QOR_HR(v) static_cast<HRESULT>(static_cast<uint32_t>(v))
inline constexpr HRESULT E_NOTIMPL = QOR_HR(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = QOR_HR(0x80004002);
inline constexpr HRESULT E_POINTER = QOR_HR(0x80004003);
inline constexpr HRESULT E_ABORT = QOR_HR(0x80004004);
inline constexpr HRESULT E_FAIL = QOR_HR(0x80004005);
inline constexpr HRESULT E_OUTOFMEMORY = QOR_HR(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = QOR_HR(0x80070057);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = QOR_HR(0x80030001);
inline constexpr HRESULT STG_E_FILENOTFOUND = QOR_HR(0x80030002);
inline constexpr HRESULT STG_E_PATHNOTFOUND = QOR_HR(0x80030003);
inline constexpr HRESULT STG_E_TOOMANYOPENFILES = QOR_HR(0x80030004);
inline constexpr HRESULT STG_E_ACCESSDENIED = QOR_HR(0x80030005);
inline constexpr HRESULT STG_E_INVALIDHANDLE = QOR_HR(0x80030006);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = QOR_HR(0x80030008);
inline constexpr HRESULT STG_E_INVALIDPOINTER = QOR_HR(0x80030009);
inline constexpr HRESULT STG_E_NOMOREFILES = QOR_HR(0x80030012);
inline constexpr HRESULT STG_E_DISKISWRITEPROTECTED = QOR_HR(0x80030013);
inline constexpr HRESULT STG_E_SEEKERROR = QOR_HR(0x80030019);
inline constexpr HRESULT STG_E_WRITEFAULT = QOR_HR(0x8003001D);
inline constexpr HRESULT STG_E_READFAULT = QOR_HR(0x8003001E);
inline constexpr HRESULT STG_E_SHAREVIOLATION = QOR_HR(0x80030020);
inline constexpr HRESULT STG_E_LOCKVIOLATION = QOR_HR(0x80030021);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = QOR_HR(0x80030050);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = QOR_HR(0x80030057);
inline constexpr HRESULT STG_E_MEDIUMFULL = QOR_HR(0x80030070);
inline constexpr HRESULT STG_E_ABNORMALAPIEXIT = QOR_HR(0x800300FA);
inline constexpr HRESULT STG_E_INVALIDHEADER = QOR_HR(0x800300FB);
inline constexpr HRESULT STG_E_INVALIDNAME = QOR_HR(0x800300FC);
inline constexpr HRESULT STG_E_UNKNOWN = QOR_HR(0x800300FD);
inline constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = QOR_HR(0x800300FE);
inline constexpr HRESULT STG_E_INVALIDFLAG = QOR_HR(0x800300FF);
inline constexpr HRESULT STG_E_INUSE = QOR_HR(0x80030100);
inline constexpr HRESULT STG_E_NOTCURRENT = QOR_HR(0x80030101);
inline constexpr HRESULT STG_E_REVERTED = QOR_HR(0x80030102);
inline constexpr HRESULT STG_E_CANTSAVE = QOR_HR(0x80030103);
inline constexpr HRESULT STG_E_OLDFORMAT = QOR_HR(0x80030104);
inline constexpr HRESULT STG_E_OLDDLL = QOR_HR(0x80030105);
inline constexpr HRESULT STG_E_SHAREREQUIRED = QOR_HR(0x80030106);
inline constexpr HRESULT STG_E_NOTFILEBASEDSTORAGE = QOR_HR(0x80030107);
inline constexpr HRESULT STG_E_EXTANTMARSHALLINGS = QOR_HR(0x80030108);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = QOR_HR(0x80030109);
#undef QOR_HR

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// ---- Mode bits and other constants --------------------------------------------

inline constexpr DWORD STGM_DIRECT = 0x00000000;
inline constexpr DWORD STGM_TRANSACTED = 0x00010000;
inline constexpr DWORD STGM_SIMPLE = 0x08000000;
inline constexpr DWORD STGM_READ = 0x00000000;
inline constexpr DWORD STGM_WRITE = 0x00000001;
inline constexpr DWORD STGM_READWRITE = 0x00000002;
inline constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
inline constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
inline constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
inline constexpr DWORD STGM_PRIORITY = 0x00040000;
inline constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
inline constexpr DWORD STGM_NOSCRATCH = 0x00100000;
inline constexpr DWORD STGM_CREATE = 0x00001000;
inline constexpr DWORD STGM_CONVERT = 0x00020000;
inline constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
inline constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
inline constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;

inline constexpr DWORD STGTY_STORAGE = 1;
inline constexpr DWORD STGTY_STREAM = 2;
inline constexpr DWORD STGTY_LOCKBYTES = 3;
inline constexpr DWORD STGTY_PROPERTY = 4;

inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

inline constexpr DWORD STGC_DEFAULT = 0;

inline constexpr DWORD STGMOVE_MOVE = 0;
inline constexpr DWORD STGMOVE_COPY = 1;

inline constexpr DWORD MEMCTX_TASK = 1;

// ---- Interfaces ------------------------------------------------------------------

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct ISequentialStream : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                         ULARGE_INTEGER* plibNewPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb,
                                           ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                               DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                 DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) = 0;

 protected:
  ~IStream() = default;
};

struct IEnumSTATSTG : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** ppenum) = 0;

 protected:
  ~IEnumSTATSTG() = default;
};

struct IStorage : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* pwcsName, DWORD grfMode,
                                                 DWORD reserved1, DWORD reserved2,
                                                 IStream** ppstm) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* pwcsName, void* reserved1,
                                               DWORD grfMode, DWORD reserved2, IStream** ppstm) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* pwcsName, DWORD grfMode,
                                                  DWORD reserved1, DWORD reserved2,
                                                  IStorage** ppstg) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority,
                                                DWORD grfMode, SNB snbExclude, DWORD reserved,
                                                IStorage** ppstg) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(DWORD ciidExclude, const IID* rgiidExclude,
                                           SNB snbExclude, IStorage* pstgDest) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest,
                                                  const OLECHAR* pwcsNewName, DWORD grfFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                                 IEnumSTATSTG** ppenum) = 0;
  virtual HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* pwcsName) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* pwcsOldName,
                                                  const OLECHAR* pwcsNewName) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime,
                                                    const FILETIME* patime,
                                                    const FILETIME* pmtime) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStateBits(DWORD grfStateBits, DWORD grfMask) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;

 protected:
  ~IStorage() = default;
};

struct IMalloc : IUnknown {
  virtual void* STDMETHODCALLTYPE Alloc(size_t cb) = 0;
  virtual void* STDMETHODCALLTYPE Realloc(void* pv, size_t cb) = 0;
  virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
  virtual size_t STDMETHODCALLTYPE GetSize(void* pv) = 0;
  virtual int STDMETHODCALLTYPE DidAlloc(void* pv) = 0;
  virtual void STDMETHODCALLTYPE HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};

HRESULT StgIsStorageFile(const OLECHAR* pwcsName);
HRESULT StgOpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                       SNB snbExclude, DWORD reserved, IStorage** ppstgOpen);
HRESULT StgCreateDocfile(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved,
                         IStorage** ppstgOpen);
// Creating with options: only compound files (STGFMT_DOCFILE or
// STGFMT_STORAGE), with 512-byte sectors (version 3) or 4096-byte ones
// (version 4, ulSectorSize 4096), which may grow past 2 GB.
struct STGOPTIONS {
  uint16_t usVersion;
  uint16_t reserved;
  ULONG ulSectorSize;
  const OLECHAR* pwcsTemplateFile;
};
inline constexpr DWORD STGFMT_STORAGE = 0;
inline constexpr DWORD STGFMT_DOCFILE = 5;
HRESULT StgCreateStorageEx(const OLECHAR* pwcsName, DWORD grfMode, DWORD stgfmt, DWORD grfAttrs,
                           STGOPTIONS* pStgOptions, void* pSecurityDescriptor, REFIID riid,
                           void** ppObjectOpen);
HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc);
void* CoTaskMemAlloc(size_t cb);
void CoTaskMemFree(void* pv);

#endif  // _WIN32

// Not the system's API: gives back the room a compound file no longer uses,
// or changes its sector size. The file is written afresh beside itself and
// the copy takes its place, with the original's permissions and owner;
// where a copy could not keep them (hard links, an owner this process may
// not set), the content moves down inside the file instead, under the same
// commit rules (which cannot change the sector size); on Windows, whose
// structured storage has no such move, they are left as they are, as are
// files its copy cannot reproduce exactly. S_OK when the file
// changed, S_FALSE when it was left as it was; after a failure code the
// file holds what it held before.
struct QOR_COMPACTION {
  uint32_t sectorSize;      // 512 or 4096 to change it, 0 to keep it
  uint32_t minFreePercent;  // without a change of size: compact only past
  uint64_t minFreeBytes;    // this share of the file and this many bytes
};
HRESULT QorCompactStorageFile(const OLECHAR* pwcsName, const QOR_COMPACTION* options);

// Not the system's API: the length of the compound file that root (a root
// storage) holds, and the bytes of it that nothing uses, as its last commit
// or its opening left them; and, as QorCompactStorageFile would, removes the
// unfinished copies an ended compaction left beside the file. E_NOTIMPL
// where the platform's storage does not count them (Windows:
// QorCompactStorageFile finds out for itself).
struct QOR_FILE_ROOM {
  uint64_t fileBytes;
  uint64_t freeBytes;
};
HRESULT QorQueryFileRoom(IStorage* root, QOR_FILE_ROOM* room);
// Whether that much free room is worth a compaction without a change of size.
inline bool QorCompactionWorthIt(const QOR_FILE_ROOM& room, const QOR_COMPACTION& options) {
  return room.freeBytes > options.minFreeBytes &&
         room.freeBytes * 100 > room.fileBytes * uint64_t{options.minFreePercent};
}

// Not the system's API: StgOpenStorage that, while other opens hold the
// file, tries again for as long as keepWaiting answers true. It is asked
// between tries, often: the caller paces anything slow it does there. After
// it answers false, the share or lock violation that stood in the way.
using QOR_KEEP_WAITING = std::function<bool()>;
HRESULT QorOpenStorageWaiting(const OLECHAR* pwcsName, DWORD grfMode,
                              const QOR_KEEP_WAITING& keepWaiting, IStorage** ppstgOpen);
