// The root controller: the singleton behind the exports that need no archive
// handle, the registered archive class, packing and deleting, and the
// start-up and shut-down of the generic layer with the unload report. Names,
// paths and the names of file lists are UTF-8 here; the exports convert.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "wcx/add_list.h"
#include "wcx/archive_tree.h"
#include "wcx/file_lists.h"
#include "wcx/host_callbacks.h"
#include "wcx/wcx_api.h"

namespace wcx {

class TqorWCXRoot {
 public:
  virtual ~TqorWCXRoot() = default;

  virtual int32_t GetCaps();
  virtual bool CanHandle(const std::string& fileName);
  // A new archive root of the registered class for the archive's name and
  // an open mode; exceptions pass to the caller.
  virtual std::unique_ptr<TqorWCXDir> OpenRoot(const std::string& arcName, int32_t openMode,
                                               bool forPacking);

  // The callbacks set with handle -1 belong to the calling thread: a host
  // that runs two operations at once sets each one's in the thread that
  // runs it, and one operation's cancel must not stop another.
  void SetGlobalChangeVolProc(tChangeVolProc proc) { ThreadCallbacks().SetChangeVol(proc); }
  void SetGlobalChangeVolProc(tChangeVolProcW proc) { ThreadCallbacks().SetChangeVol(proc); }
  void SetGlobalProcessDataProc(tProcessDataProc proc) { ThreadCallbacks().SetProcessData(proc); }
  void SetGlobalProcessDataProc(tProcessDataProcW proc) { ThreadCallbacks().SetProcessData(proc); }

  int32_t DoPackFiles(const std::string& packedFile, const std::string& subPath,
                      const std::string& srcPath, ListedNames addList, int32_t flags);
  int32_t DoDeleteFiles(const std::string& packedFile, const char* deleteList);

 private:
  // One attempt at packing: plannedBytes, when known, tells the store up
  // front what comes. A failure leaves the archive as the first failure
  // left it (a new one gone); kPlanNeeded when the store asked for the
  // plan, with the call's changes dropped where the store can
  // (RevertChanges). durable counts the names whose content the archive
  // now holds durably.
  static constexpr int32_t kPlanNeeded = -1;
  int32_t PackOnce(const std::string& packedFile, const std::string& subPath,
                   const std::string& basePath, const AddList& names,
                   std::optional<uint64_t> plannedBytes, size_t& durable);
  TqorWCXDir* FindPackTarget(TqorWCXDir& root, const std::string& subPath, int32_t& result);
  // Opens the target folder and adds every name below it; the first failure
  // stops it; done counts the names dealt with. The target stays open,
  // unless it could not be opened.
  int32_t AddEach(TqorWCXDir& target, const AddList& names, const std::string& basePath,
                  size_t& done);
  // Walks the archive and deletes the entries that the host's names stand
  // for; the first failure stops it.
  int32_t DeleteEach(TqorWCXDir& root, const TStringList& names);

  // FChangeVolProc and FProcessDataProc, in both forms, of the calling thread.
  static HostCallbacks& ThreadCallbacks();
};

// The singleton; exists from load to unload.
TqorWCXRoot* WCXRoot();
// Frees the current singleton and keeps the new one (or none).
void SetWCXRoot(std::unique_ptr<TqorWCXRoot> root);

// The class whose class-level operations and virtual constructor serve every
// archive.
const TqorWCXDirClass& ArchiveClass();
void RegisterArchiveClass(const TqorWCXDirClass& archiveClass);

// Start-up and shut-down of the generic layer, at library load and unload.
void InitializeArchiveLayer();
void FinalizeArchiveLayer();

}  // namespace wcx
