// The WCX packer-plugin interface as hosts see it: records, result codes,
// operations, flags, capability bits and callback types, in the 8-bit form
// and the Unicode (W) form. The records are byte-packed as the hosts declare
// them; their sizes are checked below for 32-bit and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define WCX_API __stdcall
#else
#define WCX_API
#endif

namespace wcx {

// Result codes.
inline constexpr int32_t E_SUCCESS = 0;
inline constexpr int32_t E_END_ARCHIVE = 10;
inline constexpr int32_t E_NO_MEMORY = 11;
inline constexpr int32_t E_BAD_DATA = 12;
inline constexpr int32_t E_BAD_ARCHIVE = 13;
inline constexpr int32_t E_UNKNOWN_FORMAT = 14;
inline constexpr int32_t E_EOPEN = 15;
inline constexpr int32_t E_ECREATE = 16;
inline constexpr int32_t E_ECLOSE = 17;
inline constexpr int32_t E_EREAD = 18;
inline constexpr int32_t E_EWRITE = 19;
inline constexpr int32_t E_SMALL_BUF = 20;
inline constexpr int32_t E_EABORTED = 21;
inline constexpr int32_t E_NO_FILES = 22;
inline constexpr int32_t E_TOO_MANY_FILES = 23;
inline constexpr int32_t E_NOT_SUPPORTED = 24;

// Open modes; 2 and 3 are used only inside the plug-in (deleting, packing).
inline constexpr int32_t PK_OM_LIST = 0;
inline constexpr int32_t PK_OM_EXTRACT = 1;
inline constexpr int32_t OM_DELETE = 2;
inline constexpr int32_t OM_PACK = 3;

// Operations; 3 (delete) is used only inside the plug-in.
inline constexpr int32_t PK_SKIP = 0;
inline constexpr int32_t PK_TEST = 1;
inline constexpr int32_t PK_EXTRACT = 2;
inline constexpr int32_t OP_DELETE = 3;

// PackFiles flags.
inline constexpr int32_t PK_PACK_MOVE_FILES = 1;
inline constexpr int32_t PK_PACK_SAVE_PATHS = 2;
inline constexpr int32_t PK_PACK_ENCRYPT = 4;

// Capability bits.
inline constexpr int32_t PK_CAPS_NEW = 1;
inline constexpr int32_t PK_CAPS_MODIFY = 2;
inline constexpr int32_t PK_CAPS_MULTIPLE = 4;
inline constexpr int32_t PK_CAPS_DELETE = 8;
inline constexpr int32_t PK_CAPS_OPTIONS = 16;
inline constexpr int32_t PK_CAPS_MEMPACK = 32;
inline constexpr int32_t PK_CAPS_BY_CONTENT = 64;
inline constexpr int32_t PK_CAPS_SEARCHTEXT = 128;
inline constexpr int32_t PK_CAPS_HIDE = 256;
inline constexpr int32_t PK_CAPS_ENCRYPT = 512;

// GetBackgroundFlags bits: what the host may run in a thread of its own,
// beside other operations on the plug-in.
inline constexpr int32_t BACKGROUND_UNPACK = 1;
inline constexpr int32_t BACKGROUND_PACK = 2;
inline constexpr int32_t BACKGROUND_MEMPACK = 4;

// A UTF-16 unit on every system: the hosts' WCHAR is 16 bits also where
// the C library's wchar_t is 32.
#ifdef _WIN32
using WCHAR = wchar_t;
#else
using WCHAR = char16_t;
#endif
static_assert(sizeof(WCHAR) == 2);

using tChangeVolProc = int32_t(WCX_API*)(char* ArcName, int32_t Mode);
using tProcessDataProc = int32_t(WCX_API*)(char* FileName, int32_t Size);
using tChangeVolProcW = int32_t(WCX_API*)(WCHAR* ArcName, int32_t Mode);
using tProcessDataProcW = int32_t(WCX_API*)(WCHAR* FileName, int32_t Size);

#pragma pack(push, 1)

struct tOpenArchiveData {
  char* ArcName;
  int32_t OpenMode;
  int32_t OpenResult;
  char* CmtBuf;
  int32_t CmtBufSize;
  int32_t CmtSize;
  int32_t CmtState;
};

struct tHeaderData {
  char ArcName[260];
  char FileName[260];
  int32_t Flags;
  int32_t PackSize;
  int32_t UnpSize;
  int32_t HostOS;
  int32_t FileCRC;
  int32_t FileTime;
  int32_t UnpVer;
  int32_t Method;
  int32_t FileAttr;
  char* CmtBuf;
  int32_t CmtBufSize;
  int32_t CmtSize;
  int32_t CmtState;
};

struct tHeaderDataEx {
  char ArcName[1024];
  char FileName[1024];
  int32_t Flags;
  uint32_t PackSize;
  uint32_t PackSizeHigh;
  uint32_t UnpSize;
  uint32_t UnpSizeHigh;
  int32_t HostOS;
  int32_t FileCRC;
  int32_t FileTime;
  int32_t UnpVer;
  int32_t Method;
  int32_t FileAttr;
  char* CmtBuf;
  int32_t CmtBufSize;
  int32_t CmtSize;
  int32_t CmtState;
  char Reserved[1024];
};

struct tOpenArchiveDataW {
  WCHAR* ArcName;
  int32_t OpenMode;
  int32_t OpenResult;
  WCHAR* CmtBuf;
  int32_t CmtBufSize;
  int32_t CmtSize;
  int32_t CmtState;
};

struct tHeaderDataExW {
  WCHAR ArcName[1024];
  WCHAR FileName[1024];
  int32_t Flags;
  uint32_t PackSize;
  uint32_t PackSizeHigh;
  uint32_t UnpSize;
  uint32_t UnpSizeHigh;
  int32_t HostOS;
  int32_t FileCRC;
  int32_t FileTime;
  int32_t UnpVer;
  int32_t Method;
  int32_t FileAttr;
  char* CmtBuf;
  int32_t CmtBufSize;
  int32_t CmtSize;
  int32_t CmtState;
  char Reserved[1024];
};

// What PackSetDefaultParams hands over: the interface version and the ini
// file (in the host's 8-bit strings) where plug-ins keep their settings.
struct PackDefaultParamStruct {
  int32_t size;
  uint32_t PluginInterfaceVersionLow;
  uint32_t PluginInterfaceVersionHi;
  char DefaultIniName[260];
};

#pragma pack(pop)

inline constexpr bool kPointers64 = sizeof(void*) == 8;
static_assert(sizeof(tOpenArchiveData) == (kPointers64 ? 36 : 28));
static_assert(sizeof(tHeaderData) == (kPointers64 ? 576 : 572));
static_assert(sizeof(tHeaderDataEx) == (kPointers64 ? 3136 : 3132));
static_assert(offsetof(tHeaderDataEx, FileTime) == 2076);
static_assert(offsetof(tHeaderDataEx, FileAttr) == 2088);
static_assert(offsetof(tHeaderDataEx, CmtBuf) == 2092);
static_assert(offsetof(tHeaderDataEx, Reserved) == (kPointers64 ? 2112 : 2108));
static_assert(offsetof(tHeaderData, CmtBuf) == 556);
static_assert(sizeof(tOpenArchiveDataW) == (kPointers64 ? 36 : 28));
static_assert(sizeof(tHeaderDataExW) == (kPointers64 ? 5184 : 5180));
static_assert(offsetof(tHeaderDataExW, Flags) == 4096);
static_assert(offsetof(tHeaderDataExW, FileTime) == 4124);
static_assert(offsetof(tHeaderDataExW, FileAttr) == 4136);
static_assert(offsetof(tHeaderDataExW, CmtBuf) == 4140);
static_assert(offsetof(tHeaderDataExW, Reserved) == (kPointers64 ? 4160 : 4156));
static_assert(sizeof(PackDefaultParamStruct) == 272);

// The archive handle: the address of an archive root, or 0; -1 in the two
// Set...Proc calls stands for "PackFiles and DeleteFiles".
using HANDLE = void*;
inline HANDLE const kGlobalHandle = reinterpret_cast<HANDLE>(intptr_t{-1});

}  // namespace wcx
