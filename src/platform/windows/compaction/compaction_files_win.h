// The files of a compaction on Windows: the original, held while its copy is
// written, and the copy beside it that takes its place or goes.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/com_ptr.h"
#include "platform/windows/compaction/directory_digest_win.h"

namespace platform::compaction {

// The file being compacted, held from before the copy is read until the copy
// has taken its place: others may read it meanwhile, none may write it.
class HeldOriginal {
 public:
  HeldOriginal() = default;
  ~HeldOriginal() { Release(); }
  HeldOriginal(const HeldOriginal&) = delete;
  HeldOriginal& operator=(const HeldOriginal&) = delete;

  // Opens the file and reads what the compaction needs to know of it:
  // STG_E_DOCFILECORRUPT for a file the engine finds damaged anywhere, which
  // no copy could hold whole.
  HRESULT Open(const std::wstring& path);
  void Release();
  bool IsHeld() const { return handle_ != INVALID_HANDLE_VALUE; }

  uint32_t sectorSize = 0;
  DirectoryDigest directory;
  DWORD links = 0;
  DWORD attributes = 0;
  uint64_t size = 0;
  FILETIME creationTime{};

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A new compound file in the original's folder under a name nothing else
// has, which takes the original's place or goes. While the system writes it,
// its root carries a class of ours that RemoveLeftoverCopies knows; once
// written, it is held and marked for deletion, which the system carries out
// should the process end, until just before it replaces the original.
// A copy left between those steps is found the same as the original, and
// RemoveLeftoverCopies knows it by that.
class CopyBeside {
 public:
  CopyBeside() = default;
  ~CopyBeside();
  CopyBeside(const CopyBeside&) = delete;
  CopyBeside& operator=(const CopyBeside&) = delete;

  HRESULT Create(const std::wstring& originalPath, uint32_t sectorSize, ComPtr<IStorage>& storage);
  // Commits and releases the filled copy, holds the file, and gives its
  // root the original's class.
  HRESULT Seal(ComPtr<IStorage>& storage, const CLSID& rootClass);
  HRESULT Size(uint64_t& bytes) const;
  HRESULT Digest(DirectoryDigest& directory) const;
  // Gives the copy the original's attributes and creation time, and puts it
  // in the original's place.
  HRESULT Replace(const std::wstring& originalPath, HeldOriginal& original);

 private:
  HRESULT Hold();
  HRESULT WriteRootClass(const CLSID& rootClass);

  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool kept_ = false;
};

// Removes what compactions left beside the file at originalPath when no
// process holds it and it holds nothing the original does not: copies, and
// the original's old content under the name a replace moves it to.
void RemoveLeftoverCopies(const std::wstring& originalPath, const DirectoryDigest& original);
// Whether old content still lies under that name, which a replace would
// overwrite.
bool HasBackup(const std::wstring& originalPath);
// Puts the old content back under the original's name when a replace was
// ended between its moves and left none there.
void RestoreInterruptedReplace(const std::wstring& originalPath);

}  // namespace platform::compaction
