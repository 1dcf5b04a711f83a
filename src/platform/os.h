// What the plug-in asks of the operating system, in one place: files and
// directories, attributes and times, the UTC/local time conversions, code-page
// conversion, system message texts, the library's own file name, the unload
// report, and the conventions of the host that runs on this system. One
// implementation file per system; nothing above this header knows which one
// is built.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os_types.h"

namespace platform {

// ---- Host conventions -------------------------------------------------------

// kFolderMark is the bit of a header's FileAttr that makes an entry a
// folder; kFolderAttr and kStreamAttr are the whole values of a storage and
// of a stream.
#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
inline constexpr uint32_t kFolderMark = 0x10;
inline constexpr uint32_t kFolderAttr = 0x10;
inline constexpr uint32_t kStreamAttr = 0;
#else
inline constexpr char kPathDelim = '/';
inline constexpr uint32_t kFolderMark = 0x4000;  // S_IFDIR
inline constexpr uint32_t kFolderAttr = 0x41ED;  // S_IFDIR | 0755
inline constexpr uint32_t kStreamAttr = 0x81A4;  // S_IFREG | 0644
#endif

// Whether file names follow Windows' rules: names that differ in case only
// name one file, a trailing dot or space is dropped, and device names (CON,
// NUL, COM1, ...) are reserved.
#ifdef _WIN32
inline constexpr bool kWindowsFileNames = true;
#else
inline constexpr bool kWindowsFileNames = false;
#endif

// How a header's FileTime is encoded for the host.
enum class HeaderTimeEncoding {
  kDosLocal,  // packed MS-DOS date and time, local time (Total Commander)
  kUnixUtc,   // seconds since 1970-01-01, UTC (Double Commander)
};
#ifdef _WIN32
inline constexpr HeaderTimeEncoding kHeaderTimeEncoding = HeaderTimeEncoding::kDosLocal;
#else
inline constexpr HeaderTimeEncoding kHeaderTimeEncoding = HeaderTimeEncoding::kUnixUtc;
#endif

// What a header shows for an element that has no time of its own. Total
// Commander shows FileTime 0 as no date. Double Commander has no value for
// "no date" (0 reads as 1970-01-01), so there the element shows the time of
// the nearest storage above it that has one.
enum class AbsentTimeShown {
  kNoDate,
  kNearestDated,
};
#ifdef _WIN32
inline constexpr AbsentTimeShown kAbsentTimeShown = AbsentTimeShown::kNoDate;
#else
inline constexpr AbsentTimeShown kAbsentTimeShown = AbsentTimeShown::kNearestDated;
#endif

// ---- Errors -----------------------------------------------------------------

// The calling thread's last error code (GetLastError / errno).
uint32_t GetLastError();
void SetLastError(uint32_t code);
// Whether an error code says that another program's open or lock of the
// file stands in the way.
bool IsShareConflictError(uint32_t code);
// The system's message text for an error code, as the system formats it
// (for result codes of the structured-storage API too); empty when the
// system has none.
std::string SysErrorMessage(uint32_t code);

// ---- Code pages -------------------------------------------------------------

enum class CodePage {
  kAnsi,        // CP_ACP: file names from and to the host
  kThreadAnsi,  // CP_THREAD_ACP: element names
};

// The 8-bit text converted to UTF-16. Never fails: bytes that do not decode
// are kept as lone surrogates U+DC80..U+DCFF, so that a file name survives a
// round trip through UTF-16.
std::u16string AnsiToWide(std::string_view text, CodePage cp);
// UTF-16 converted to 8-bit text; lone surrogates U+DC80..U+DCFF give their
// byte back. Characters the code page cannot represent become '?'.
std::string WideToAnsi(std::u16string_view text, CodePage cp);
// One character of UTF-16 text (one unit, or one surrogate pair) and its
// exact 8-bit form: nullopt when the code page has no exact representation
// for it (a lone surrogate never has one).
struct AnsiCharacter {
  size_t units;
  std::optional<std::string> bytes;
};
// Every character of the text converted on its own.
std::vector<AnsiCharacter> WideCharsToAnsiExact(std::u16string_view text, CodePage cp);
// The whole text in 8-bit form when each of its characters has an exact
// one (the concatenation of what WideCharsToAnsiExact gives); nullopt
// otherwise. Far cheaper for the common name that converts whole.
std::optional<std::string> WideToAnsiExact(std::u16string_view text, CodePage cp);
// 8-bit text in the code page a document names by its Windows number (1252,
// 1251, 932, 65001, ...) converted to UTF-16 as AnsiToWide converts it;
// nullopt when this system has no converter for that code page.
std::optional<std::u16string> NumberedCodePageToWide(std::string_view text, uint32_t codePage);
// True when the 8-bit code page is a single-byte one.
bool IsSingleByteCodePage(CodePage cp);
// True when every ASCII character is its own byte in the code page, both
// ways (every code page a host uses; not EBCDIC).
bool KeepsAsciiCodePage(CodePage cp);

// While one lives, the code-page functions on its thread use the code pages
// as they were when it was made, instead of asking the system on every call
// (on POSIX that means reading the locale variables). For the span of one
// call from the host, in which they do not change: the names of a large
// folder are then converted with one look-up instead of one per name.
class CodePageSnapshot {
 public:
  CodePageSnapshot();
  ~CodePageSnapshot();
  CodePageSnapshot(const CodePageSnapshot&) = delete;
  CodePageSnapshot& operator=(const CodePageSnapshot&) = delete;

  // The locale's charset as read at construction (POSIX).
  const std::string& Charset() const { return charset_; }

 private:
  std::string charset_;
  const CodePageSnapshot* outer_ = nullptr;
};

// ---- Files and directories --------------------------------------------------

// What identifies a disk file's state: it changes when the file is
// replaced, truncated or written.
struct FileStamp {
  uint64_t id = 0;
  int64_t size = 0;
  int64_t modified = 0;
  bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> GetFileStamp(const std::string& path);
// A file's last modification time (UTC); nullopt when it cannot be read.
std::optional<FILETIME> GetFileModifiedTime(const std::string& path);

// What a path names, from one look at it.
enum class PathKind { kFile, kDirectory };
struct PathInfo {
  PathKind kind = PathKind::kFile;
  int64_t size = 0;  // 0 for a directory
};
std::optional<PathInfo> GetPathInfo(const std::string& path);

// A folder whose files are reached one after another. On POSIX it is held
// open and a name is looked up in it alone (openat, fstatat): walking the
// whole path from the root again for each of a million files cost more than
// the rest of finding them. On Windows, and where the folder cannot be
// opened, a name is reached by its full path.
class SourceFolder {
 public:
  SourceFolder() = default;
  SourceFolder(const SourceFolder&) = delete;
  SourceFolder& operator=(const SourceFolder&) = delete;
  ~SourceFolder() { Close(); }

  // path ends with the path delimiter; empty for the current folder.
  void Open(const std::string& path);
  const std::string& Path() const { return path_; }

 private:
  friend class File;
  friend std::optional<PathInfo> GetPathInfo(const SourceFolder& folder, const std::string& name);
  void Close();

  std::string path_;
  intptr_t handle_ = -1;
};
// What folder.Path() + name names; name may hold further folders.
std::optional<PathInfo> GetPathInfo(const SourceFolder& folder, const std::string& name);
bool FileExists(const std::string& path);       // an existing file, not a directory
bool DirectoryExists(const std::string& path);  // an existing directory
bool CreateDir(const std::string& path);        // one level; false when it exists
bool RemoveFile(const std::string& path);
// Creates path as a new, empty file; kExists when the name is taken.
enum class NewFile { kCreated, kExists, kFailed };
NewFile CreateNewFile(const std::string& path);
// Renames source to target in one step, replacing a file of that name
// (rename; MoveFileExW with MOVEFILE_REPLACE_EXISTING).
bool MoveFileReplacing(const std::string& source, const std::string& target);
// The file that writing to path reaches: on POSIX the end of a chain of
// symbolic links (path itself when it leads nowhere); path on Windows.
std::string WrittenFilePath(const std::string& path);
// False, with the last error set, when path is a directory or a file the
// user may not write; true for a writable file and for a free name.
bool MayReplaceFile(const std::string& path);
// Applies a header's FileAttr to a disk file (SetFileAttributesA on Windows,
// chmod(attr & 07777) on POSIX).
bool ApplyFileAttributes(const std::string& path, uint32_t attr);
// Gives an extracted file its entry's time: the creation time on Windows,
// where the last-write time stays as writing left it; the modification time
// on POSIX, which keeps no creation time to set.
bool SetExtractedFileTime(const std::string& path, const FILETIME& utc);

// An open disk file for the runtime's file stream. Closes on destruction.
class File {
 public:
  enum class Mode {
    kCreate,         // new file, or an existing one cut to length 0
    kReadDenyWrite,  // read; other writers are denied
  };
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept
      : handle_(std::exchange(other.handle_, -1)), size_(std::exchange(other.size_, -1)) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, -1);
      size_ = std::exchange(other.size_, -1);
    }
    return *this;
  }
  ~File() { Close(); }

  // false with the last error set when the file cannot be opened.
  bool Open(const std::string& path, Mode mode);
  // The file folder.Path() + name.
  bool Open(const SourceFolder& folder, const std::string& name, Mode mode);
  bool IsOpen() const;
  void Close();
  // Bytes moved, or -1 with the last error set.
  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  // The new position, or -1. Origin 0 beginning, 1 current, 2 end.
  int64_t Seek(int64_t offset, int origin);
  // The length of the open file, or -1. What opening learnt of it counts
  // until this handle writes.
  int64_t Size() const;
  bool Truncate(int64_t size);

 private:
  intptr_t handle_ = -1;
  int64_t size_ = -1;  // as learnt, -1 when not known
};

// ---- Time -------------------------------------------------------------------

// The four system conversions. They apply the offset between UTC and local
// time that is in effect when they run. false with the last error set on
// failure.
bool FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local);
bool LocalFileTimeToFileTime(const FILETIME& local, FILETIME& utc);
bool FileTimeToSystemTime(const FILETIME& time, SYSTEMTIME& system);
bool SystemTimeToFileTime(const SYSTEMTIME& system, FILETIME& time);

// ---- Settings ---------------------------------------------------------------

// The value of key in [section] of an ini file, as the system's profile
// functions read it (names without regard to case, the value trimmed);
// nullopt when the file, the section or the key is missing, or the value
// is empty.
std::optional<std::string> ReadIniValue(const std::string& iniFile, const std::string& section,
                                        const std::string& key);

// ---- The library itself -----------------------------------------------------

// The full file name of the loaded plug-in library.
std::string LibraryFileName();
// The unload report: a modal error box on Windows (a debugger message when
// the process is ending), one line on standard error elsewhere.
void ShowErrorReport(const std::string& caption, const std::string& text);

}  // namespace platform
