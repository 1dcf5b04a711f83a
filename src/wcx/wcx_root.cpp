#include "wcx/wcx_root.h"

#include <optional>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "platform/os.h"
#include "rtl/file_names.h"
#include "rtl/format.h"
#include "wcx/file_lists.h"
#include "wcx/wcx_error.h"

namespace wcx {
namespace {

// A plain pointer: unloading frees it, also when the host ends its process
// without unloading and static objects are gone already.
TqorWCXRoot* gWCXRoot = nullptr;
const TqorWCXDirClass* gArchiveClass = nullptr;

// Trivially destructible on purpose: glibc keeps a library loaded after
// dlclose while any thread holds a thread-local object with a destructor
// from it, and the unload report would never come.
thread_local HostCallbacks tCallbacks;
static_assert(std::is_trivially_destructible_v<HostCallbacks>);

// The listed paths, lower-cased, that the host's paths stand for.
std::unordered_set<std::string> ListedPathKeys(const TqorWCXDir& root, const TStringList& paths) {
  std::unordered_set<std::string> keys;
  for (const std::string& path : paths)
    keys.insert(rtl::LowerCaseFileName(root.ListedPathOf(path)));
  return keys;
}

std::string FileNamePart(const std::string& path) {
  size_t delim = path.find_last_of(platform::kPathDelim == '\\' ? "\\:" : "/");
  return delim == std::string::npos ? path : path.substr(delim + 1);
}

// The files of the first `count` names, once the archive holds them durably.
void RemoveMovedSources(const AddList& names, const std::string& basePath, size_t count) {
  for (const AddList::Entry& entry : names) {
    if (count-- == 0) return;
    if (entry.kind == SourceKind::kFile && !entry.repeated)
      platform::RemoveFile(basePath + std::string(entry.name));
  }
}

}  // namespace

HostCallbacks& TqorWCXRoot::ThreadCallbacks() { return tCallbacks; }

int32_t TqorWCXRoot::GetCaps() { return ArchiveClass().GetCapabilities(); }

bool TqorWCXRoot::CanHandle(const std::string& fileName) {
  return ArchiveClass().CanHandleFile(fileName);
}

std::unique_ptr<TqorWCXDir> TqorWCXRoot::OpenRoot(const std::string& arcName, int32_t openMode,
                                                   bool forPacking) {
  return ArchiveClass().CreateArchive(arcName, openMode, forPacking);
}

TqorWCXDir* TqorWCXRoot::FindPackTarget(TqorWCXDir& root, const std::string& subPath,
                                        int32_t& result) {
  if (subPath.empty()) return &root;
  std::optional<std::string> listedPath;
  for (;;) {
    EntryHeader header;
    if (int32_t walked = root.NextHeader(header); walked != 0) {
      // An archive that cannot be read says why; one without the folder
      // has no target.
      result = walked == E_END_ARCHIVE ? E_NO_FILES : walked;
      return nullptr;
    }
    // How the store shows names is known once the root is open.
    if (!listedPath) listedPath = root.ListedPathOf(subPath);
    if (rtl::SameFileName(header.FileName, *listedPath)) {
      if (TqorWCXDir* folder = root.CurrentItem()->AsDir()) return folder;
      result = E_NO_FILES;
      return nullptr;
    }
    if (int32_t skipped = root.ProcessCurrent(PK_SKIP, nullptr, nullptr); skipped != 0) {
      result = skipped;
      return nullptr;
    }
  }
}

int32_t TqorWCXRoot::AddEach(TqorWCXDir& target, const AddList& names,
                             const std::string& basePath, size_t& done) {
  try {
    target.Open();
  } catch (...) {
    const int32_t result = CurrentExceptionResult(E_EOPEN);
    target.Close();
    return result;
  }
  for (const AddList::Entry& entry : names) {
    if (!entry.repeated) {
      const int32_t result = target.AddPath(basePath, std::string(entry.name), entry.kind);
      if (result != 0) return result;
    }
    ++done;
  }
  return 0;
}

int32_t TqorWCXRoot::DoPackFiles(const std::string& packedFile, const std::string& subPath,
                                 const std::string& srcPath, ListedNames addList, int32_t flags) {
  const std::string basePath = WithTrailingBackslash(srcPath);
  const AddList names(addList);
  if (names.empty()) return 0;

  size_t moved = 0;
  int32_t result = PackOnce(packedFile, subPath, basePath, names, std::nullopt, moved);
  // The host's progress then counts the sources before that point twice.
  if (result == kPlanNeeded)
    result = PackOnce(packedFile, subPath, basePath, names, names.SourceBytes(basePath), moved);
  // The sources go only once the archive holds their content durably.
  if (flags & PK_PACK_MOVE_FILES) RemoveMovedSources(names, basePath, moved);
  return result;
}

int32_t TqorWCXRoot::PackOnce(const std::string& packedFile, const std::string& subPath,
                              const std::string& basePath, const AddList& names,
                              std::optional<uint64_t> plannedBytes, size_t& durable) {
  int32_t result = 0;
  size_t done = 0;
  durable = 0;
  try {
    std::unique_ptr<TqorWCXDir> root = OpenRoot(packedFile, OM_PACK, true);
    root->SetCallbacks(ThreadCallbacks());
    if (plannedBytes) root->PlanAdding(*plannedBytes);
    try {
      TqorWCXDir* target = FindPackTarget(*root, subPath, result);
      if (target) result = AddEach(*target, names, basePath, done);
    } catch (const EPlanNeeded&) {
      result = kPlanNeeded;
    } catch (...) {
      result = CurrentExceptionResult(E_EOPEN);
    }
    if (result != 0 && root->CreatedArchive()) {
      // A failed call leaves no new file, and so moves nothing.
      root->DiscardArchive();
      return result;
    }
    if (result == kPlanNeeded || (result != 0 && done == 0)) {
      root->RevertChanges();
      return result;
    }
    // What was added before a failure stays added. The target is still
    // open: freeing the root closes it, after the commit.
    if (int32_t committed = root->CommitChanges(); committed != 0) return committed;
    root->FinishChanges();
  } catch (...) {
    return CurrentExceptionResult(E_EOPEN);
  }
  durable = done;
  return result;
}

int32_t TqorWCXRoot::DoDeleteFiles(const std::string& packedFile, const char* deleteList) {
  TStringList names;
  ParseFileList(deleteList, names);
  PrepareDeleteList(names);
  if (names.empty()) return 0;

  try {
    std::unique_ptr<TqorWCXDir> root = OpenRoot(packedFile, OM_DELETE, false);
    // Only to let the user cancel a wait for the archive.
    root->SetCallbacks(ThreadCallbacks());
    int32_t result = DeleteEach(*root, names);
    // Deletions before a failure stay done, but a failed call does not go
    // on to the compaction, which would meet whatever stopped it again.
    if (int32_t committed = root->CommitChanges(); committed != 0) return committed;
    if (result == 0) root->FinishChanges();
    return result;
  } catch (...) {
    return CurrentExceptionResult(E_EOPEN);
  }
}

int32_t TqorWCXRoot::DeleteEach(TqorWCXDir& root, const TStringList& names) {
  std::optional<std::unordered_set<std::string>> wanted;
  for (;;) {
    EntryHeader header;
    int32_t walked = root.NextHeader(header);
    // An archive that cannot be read is a failure, not "nothing to delete".
    if (walked != 0) return walked == E_END_ARCHIVE ? 0 : walked;
    // A name reaches its entry whichever escapes the host sent it with, as
    // the store shows names once the root is open.
    if (!wanted) wanted = ListedPathKeys(root, names);
    int32_t result =
        wanted->count(rtl::LowerCaseFileName(header.FileName)) > 0
            ? root.ProcessCurrent(OP_DELETE, nullptr, FileNamePart(header.FileName).c_str())
            : root.ProcessCurrent(PK_SKIP, nullptr, nullptr);
    if (result != 0) return result;
  }
}

// ---- Process-wide state -----------------------------------------------------

TqorWCXRoot* WCXRoot() { return gWCXRoot; }

void SetWCXRoot(std::unique_ptr<TqorWCXRoot> root) {
  delete std::exchange(gWCXRoot, nullptr);
  gWCXRoot = root.release();
}

const TqorWCXDirClass& ArchiveClass() {
  return gArchiveClass ? *gArchiveClass : TqorWCXDir::Class();
}

void RegisterArchiveClass(const TqorWCXDirClass& archiveClass) { gArchiveClass = &archiveClass; }

void InitializeArchiveLayer() {
  gWCXRoot = nullptr;  // set to null without freeing anything
  RegisterArchiveClass(TqorWCXDir::Class());
  SetWCXRoot(std::make_unique<TqorWCXRoot>());
  LiveItemCount = 0;
}

void FinalizeArchiveLayer() {
  SetWCXRoot(nullptr);
  if (const int32_t live = LiveItemCount.load(); live != 0)
    platform::ShowErrorReport(FileNamePart(platform::LibraryFileName()),
                              rtl::Format("Memory outflow: %d TqorWCXFiles not destroyed", live));
}

}  // namespace wcx
