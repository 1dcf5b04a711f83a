#include "wcx/wcx_root.h"

#include <cstring>

#include "platform/os.h"
#include "rtl/file_names.h"
#include "rtl/format.h"
#include "wcx/file_lists.h"

namespace wcx {
namespace {

std::unique_ptr<TqorWCXRoot> gWCXRoot;
const TqorWCXDirClass* gArchiveClass = nullptr;

tOpenArchiveData MakeOpenData(const std::string& arcName, int32_t openMode) {
  tOpenArchiveData data;
  std::memset(&data, 0, sizeof data);
  data.ArcName = const_cast<char*>(arcName.c_str());
  data.OpenMode = openMode;
  return data;
}

// The FileName of a header as a string: up to its first zero, at most 1024
// characters.
std::string HeaderFileName(const tHeaderDataEx& header) {
  return std::string(header.FileName, strnlen(header.FileName, sizeof header.FileName));
}

std::string FileNamePart(const std::string& path) {
  size_t delim = path.find_last_of(platform::kPathDelim == '\\' ? "\\:" : "/");
  return delim == std::string::npos ? path : path.substr(delim + 1);
}

}  // namespace

int32_t TqorWCXRoot::GetCaps() { return ArchiveClass().GetCapabilities(); }

bool TqorWCXRoot::CanHandle(const std::string& fileName) {
  return ArchiveClass().CanHandleFile(fileName);
}

std::unique_ptr<TqorWCXDir> TqorWCXRoot::OpenRoot(const tOpenArchiveData& data,
                                                  bool forPacking) {
  return ArchiveClass().CreateArchive(data.ArcName ? data.ArcName : "", data.OpenMode,
                                      forPacking);
}

TqorWCXDir* TqorWCXRoot::FindPackTarget(TqorWCXDir& root, const std::string& subPath,
                                        int32_t& result) {
  if (subPath.empty()) return &root;
  for (;;) {
    tHeaderDataEx header;
    std::memset(&header, 0, sizeof header);
    if (root.NextHeader(header) != 0) return nullptr;
    if (rtl::SameFileName(HeaderFileName(header), subPath)) {
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

int32_t TqorWCXRoot::DoPackFiles(const std::string& packedFile, const std::string& subPath,
                                 const std::string& srcPath, const char* addList,
                                 int32_t flags) {
  TStringList names;
  ParseFileList(addList, names);
  RemoveDuplicateNames(names);
  if (names.empty()) return 0;

  int32_t result = 0;
  try {
    std::unique_ptr<TqorWCXDir> root = OpenRoot(MakeOpenData(packedFile, OM_PACK), true);
    root->SetChangeVolCallback(FChangeVolProc);
    root->SetProcessDataCallback(FProcessDataProc);

    TqorWCXDir* target = FindPackTarget(*root, subPath, result);
    if (!target) return E_NO_FILES;
    try {
      target->Open();
    } catch (...) {
      target->Close();
      return E_EOPEN;
    }
    const std::string basePath = WithTrailingBackslash(srcPath);
    const bool moveFiles = flags & PK_PACK_MOVE_FILES;
    const bool savePaths = flags & PK_PACK_SAVE_PATHS;
    const bool encrypt = flags & PK_PACK_ENCRYPT;
    try {
      for (const std::string& name : names) {
        result = target->AddPath(basePath, name, moveFiles, savePaths, encrypt);
        if (result != 0) break;
      }
    } catch (...) {
      target->Close();
      throw;
    }
    target->Close();
  } catch (...) {
    return E_EOPEN;
  }
  return result;
}

int32_t TqorWCXRoot::DoDeleteFiles(const std::string& packedFile, const char* deleteList) {
  TStringList names;
  ParseFileList(deleteList, names);
  PrepareDeleteList(names);
  if (names.empty()) return 0;

  try {
    std::unique_ptr<TqorWCXDir> root = OpenRoot(MakeOpenData(packedFile, OM_DELETE), false);
    for (;;) {
      tHeaderDataEx header;
      std::memset(&header, 0, sizeof header);
      int32_t walked = root->NextHeader(header);
      // An archive that cannot be read is a failure, not "nothing to delete".
      if (walked != 0) return walked == E_END_ARCHIVE ? 0 : walked;
      const std::string fileName = HeaderFileName(header);
      for (const std::string& name : names) {
        int32_t result =
            rtl::SameFileName(name, fileName)
                ? root->ProcessCurrent(OP_DELETE, nullptr, FileNamePart(fileName).c_str())
                : root->ProcessCurrent(PK_SKIP, nullptr, nullptr);
        if (result != 0) return result;
      }
    }
  } catch (...) {
    return E_EOPEN;
  }
}

// ---- Process-wide state -----------------------------------------------------

TqorWCXRoot* WCXRoot() { return gWCXRoot.get(); }

void SetWCXRoot(std::unique_ptr<TqorWCXRoot> root) {
  gWCXRoot.reset();
  gWCXRoot = std::move(root);
}

const TqorWCXDirClass& ArchiveClass() {
  return gArchiveClass ? *gArchiveClass : TqorWCXDir::Class();
}

void RegisterArchiveClass(const TqorWCXDirClass& archiveClass) { gArchiveClass = &archiveClass; }

void InitializeArchiveLayer() {
  (void)gWCXRoot.release();  // set to null without freeing anything
  RegisterArchiveClass(TqorWCXDir::Class());
  SetWCXRoot(std::make_unique<TqorWCXRoot>());
  LiveItemCount = 0;
}

void FinalizeArchiveLayer() {
  SetWCXRoot(nullptr);
  if (LiveItemCount != 0)
    platform::ShowErrorReport(
        FileNamePart(platform::LibraryFileName()),
        rtl::Format("Memory outflow: %d TqorWCXFiles not destroyed", LiveItemCount));
}

}  // namespace wcx
