// Object wrappers over the structured-storage API: a folder per storage (the
// root storage of a compound file or one inside it) and a byte stream per
// opened stream. Each operation is one platform call; a failing element
// operation gives false and keeps its code, and only an object that cannot
// work at all raises EStructStorageError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/checked_open.h"
#include "platform/com_ptr.h"
#include "platform/ole.h"
#include "rtl/exceptions.h"
#include "rtl/persistent.h"
#include "rtl/stream.h"
#include "storage/access_options.h"
#include "storage/open_queue.h"
#include "storage/task_memory.h"

namespace storage {

class EStructStorageError : public rtl::Exception {
 public:
  explicit EStructStorageError(const std::string& message, HRESULT code = S_OK)
      : Exception(message), code_(code) {}
  // The platform's result code, S_OK when there was none.
  HRESULT Code() const { return code_; }

 private:
  HRESULT code_;
};

// Whether a code says that another open of the file stands in the way.
inline bool IsShareConflict(HRESULT code) {
  return code == STG_E_SHAREVIOLATION || code == STG_E_LOCKVIOLATION;
}

class TStructStorageStream;

// Receives the description of one child element, with its name.
using TStgElementHandler = std::function<void(StatCopy stat)>;
// Whether a compound file is worth compacting; kUnknown where only reading
// the file again would tell.
enum class TStgCompactionNeed { kNo, kYes, kUnknown };

class TStructStorageFolder : public rtl::TPersistent {
 public:
  // Records the file name and options; with openNow the file is opened (or
  // created) at once and a failure raises EStructStorageError.
  TStructStorageFolder(const std::string& fileName, TStgAccessOptions options, bool openNow);
  ~TStructStorageFolder() override;

  std::string ClassName() const override { return "TStructStorageFolder"; }

  // Opens or creates the compound file unless it is open already. When
  // other opens hold it, a writer waits while askToWait says so; after a
  // wait that it ended, the error's code is E_ABORT.
  void EnsureOpen();
  void SetAskToWait(TStgAskToWait askToWait) { FAskToWait = std::move(askToWait); }
  // Stores code in FLastHResult; true for a success code.
  bool RecordResult(HRESULT code);

  // Creates an empty stream or storage. An existing element of the name is
  // replaced, or, without replaceExisting, left alone and the call fails.
  bool CreateElement(const OLECHAR* name, bool asStorage, bool replaceExisting = true);
  // Creates an empty stream where the name is free and hands it over open
  // for writing: one call where creating and opening would take two.
  bool CreateStreamElement(const OLECHAR* name, std::unique_ptr<TStructStorageStream>& stream);
  bool RemoveElement(const OLECHAR* name);
  bool RenameElement(const OLECHAR* oldName, const OLECHAR* newName);
  bool OpenStreamElement(const OLECHAR* name, std::unique_ptr<TStructStorageStream>& stream);
  bool OpenSubFolder(const OLECHAR* name, std::unique_ptr<TStructStorageFolder>& folder);
  // Hands every child to handler; false, with the code kept, when the
  // enumeration fails before its end (a damaged directory).
  bool ForEachElement(const TStgElementHandler& handler);
  // Makes every change to the compound file durable (on the root; direct
  // mode on Windows has it written already). False with the code kept when
  // it fails: the file then keeps its earlier content.
  bool Commit();
  // Drops the changes since the last commit where the platform can (our
  // engine; the system's direct mode has written them already).
  bool Revert();
  bool QueryStat(STATSTG& stat, bool includeName);
  // The storage's name as the platform reports it, or the file name when it
  // is not open; never opens it.
  void QueryName(std::string& name);
  // Copies this folder's whole storage into dest, a folder.
  void AssignTo(rtl::TPersistent* dest) override;

  // S_OK for a compound file, S_FALSE for another file, a failure code when
  // the platform could not test it.
  static HRESULT IsCompoundFile(const std::string& fileName);
  // Gives back the room a closed compound file no longer uses, when that is
  // more than minFreePercent of it and more than minFreeBytes; or, with
  // sectorSize 512 or 4096, rewrites it with sectors of that size. S_OK when
  // the file changed, S_FALSE when it stayed as it was.
  static HRESULT Compact(const std::string& fileName, uint32_t sectorSize, uint32_t minFreePercent,
                         uint64_t minFreeBytes);
  // For an open root: Compact's test on the file as its last commit (or its
  // opening) left it, from the counts that commit made.
  TStgCompactionNeed CompactionNeed(uint32_t minFreePercent, uint64_t minFreeBytes) const;

  HRESULT LastHResult() const { return FLastHResult; }
  uint32_t StgMode() const { return FStgMode; }
  TStgAccessOptions AccessSet() const { return FAccessSet; }
  const std::string& DocFileName() const { return FDocFileName; }
  bool IsOpen() const { return static_cast<bool>(FStorageIntf); }

 private:
  // Whether the element name of this folder, or one below it, is a stream
  // the system's storage must not touch (the file's check found its sectors
  // damaged, and the system would loop on them); the code is then recorded.
  bool RefusedAsDamaged(const OLECHAR* name);
  bool HasDamageUnder(const platform::ElementPath& path) const;

  platform::ComPtr<IStorage> FStorageIntf;
  std::shared_ptr<const platform::DamagedStreams> FDamagedStreams;
  platform::ElementPath FPath;  // of this folder, from the root
  HRESULT FLastHResult = S_OK;
  std::string FDocFileName;
  TStgAccessOptions FAccessSet;
  uint32_t FStgMode;
  TStgAskToWait FAskToWait;
};

class TStructStorageStream : public rtl::TStream {
 public:
  // Bytes moved, 0 on failure.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // The new position, -1 on failure.
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  // A failure is ignored.
  void SetSize(int64_t newSize) override;

  bool QueryStat(STATSTG& stat, bool includeName);
  bool RecordResult(HRESULT code);
  // EStructStorageError "IStream is nil" when there is no stream.
  void RequireStream() const;
  HRESULT LastHResult() const { return FLastHResult; }

 private:
  friend class TStructStorageFolder;
  platform::ComPtr<IStream> FStreamIntf;
  HRESULT FLastHResult = S_OK;
};

}  // namespace storage
