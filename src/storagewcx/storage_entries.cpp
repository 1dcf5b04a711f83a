#include "storagewcx/storage_entries.h"

#include "platform/os.h"
#include "rtl/format.h"
#include "storagewcx/copy_loop.h"
#include "storagewcx/element_name.h"
#include "wcx/header_time.h"
#include "wcx/wcx_root.h"

namespace storagewcx {
namespace {

using storage::StatCopy;
using storage::TStgAccessOptions;
using storage::TStructStorageFolder;
using storage::TStructStorageStream;
using wcx::E_EABORTED;
using wcx::E_EREAD;
using wcx::E_EWRITE;

const OLECHAR* Ole(const std::u16string& name) {
  return reinterpret_cast<const OLECHAR*>(name.c_str());
}

std::string RawNameOf(const StatCopy& stat) {
  return EscapeElementName(reinterpret_cast<const char16_t*>(stat->pwcsName));
}

// Sizes, time and attributes that both kinds of element show.
void FillElementHeader(const STATSTG& stat, uint32_t attr, wcx::tHeaderDataEx& header) {
  const uint64_t size = stat.cbSize.QuadPart;
  header.PackSize = header.UnpSize = static_cast<uint32_t>(size);
  header.PackSizeHigh = header.UnpSizeHigh = static_cast<uint32_t>(size >> 32);
  if (stat.mtime.dwLowDateTime != 0 || stat.mtime.dwHighDateTime != 0) {
    try {
      header.FileTime = wcx::EncodeHeaderTime(stat.mtime);
    } catch (...) {
      header.FileTime = 0;
    }
  }
  header.FileAttr = static_cast<int32_t>(attr);
}

TStructStorageFolder* FolderOf(wcx::TqorWCXDir* parent) {
  auto* dir = dynamic_cast<TqorStorageDir*>(parent);
  return dir ? dir->Folder() : nullptr;
}

// A name no element of the folder has, for content that is not complete yet.
// Names are at most 31 characters; "~qor" and a counter stay well below.
bool CreateTemporaryStream(TStructStorageFolder& folder, std::u16string& name) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string ascii = rtl::Format("~qor%08X.tmp", static_cast<unsigned>(attempt));
    name.assign(ascii.begin(), ascii.end());
    if (folder.CreateElement(Ole(name), false, false)) return true;
    if (folder.LastHResult() != STG_E_FILEALREADYEXISTS) return false;
  }
  return false;
}

// "#0000" in a host name would end the element name early and store the
// content under a shorter name.
bool UsableElementName(const std::u16string& name) {
  return !name.empty() && name.find(u'\0') == std::u16string::npos;
}

class StorageDirClass : public wcx::TqorWCXDirClass {
 public:
  int32_t GetCapabilities() const override {
    return wcx::PK_CAPS_MULTIPLE | wcx::PK_CAPS_DELETE | wcx::PK_CAPS_BY_CONTENT |
           wcx::PK_CAPS_HIDE;
  }
  bool CanHandleFile(const std::string& fileName) const override {
    return TStructStorageFolder::IsCompoundFile(fileName) == S_OK;
  }

 protected:
  std::unique_ptr<wcx::TqorWCXDir> NewRoot() const override {
    return std::make_unique<TqorStorageDir>();
  }
};

}  // namespace

// ---- TqorStorageFile --------------------------------------------------------

TqorStorageFile::TqorStorageFile(TqorStorageDir* parent, StatCopy stat)
    : TqorWCXFile(parent, RawNameOf(stat)), FStat(std::move(stat)) {}

TStructStorageFolder* TqorStorageFile::ParentFolder() const { return FolderOf(FParent); }

void TqorStorageFile::FillHeader(wcx::tHeaderDataEx& header) {
  TqorWCXFile::FillHeader(header);
  FillElementHeader(*FStat, platform::kStreamAttr, header);
}

int32_t TqorStorageFile::TestItem() { return CopyToStream(nullptr); }

int32_t TqorStorageFile::ExtractTo(const std::string& destPath) {
  rtl::TFileStream file(destPath, rtl::TFileStream::Mode::fmCreate);
  return CopyToStream(&file);
}

int32_t TqorStorageFile::CopyToStream(rtl::TStream* target) {
  TStructStorageFolder* folder = ParentFolder();
  std::unique_ptr<TStructStorageStream> stream;
  if (!folder || !folder->OpenStreamElement(FStat->pwcsName, stream)) return E_EREAD;
  try {
    return CopyLoop(*stream, target, [this](int32_t n) { return DoProcessData(GetPath(), n); });
  } catch (...) {
    return E_EWRITE;
  }
}

int32_t TqorStorageFile::DeleteItem() {
  TStructStorageFolder* folder = ParentFolder();
  return folder && folder->RemoveElement(FStat->pwcsName) ? 0 : E_EREAD;
}

// ---- TqorStorageDir ---------------------------------------------------------

TqorStorageDir::TqorStorageDir() : TqorWCXDir(nullptr, std::string()) {}

TqorStorageDir::TqorStorageDir(TqorStorageDir* parent, StatCopy stat)
    : TqorWCXDir(parent, RawNameOf(stat)), FStat(std::move(stat)) {}

TqorStorageDir::~TqorStorageDir() { ShutDown(); }

const wcx::TqorWCXDirClass& TqorStorageDir::Class() {
  static const StorageDirClass instance;
  return instance;
}

TStructStorageFolder* TqorStorageDir::ParentFolder() const { return FolderOf(FParent); }

void TqorStorageDir::FillHeader(wcx::tHeaderDataEx& header) {
  TqorWCXDir::FillHeader(header);
  if (FStat) FillElementHeader(*FStat, platform::kFolderAttr, header);
}

int32_t TqorStorageDir::DeleteItem() {
  TStructStorageFolder* folder = ParentFolder();
  return FStat && folder && folder->RemoveElement(FStat->pwcsName) ? 0 : E_EREAD;
}

void TqorStorageDir::Open() {
  TqorWCXDir::Open();
  FFolder.reset();
  const platform::CodePageSnapshot codePages;  // one locale look-up for all the names
  auto addChild = [this](StatCopy stat) { AddChildEntry(std::move(stat)); };
  if (!FParent) {
    TStgAccessOptions options = GetOpenMode() <= wcx::PK_OM_EXTRACT
                                    ? storage::aoRead | storage::aoDenyWrite
                                    : storage::aoRead | storage::aoWrite | storage::aoDenyRead |
                                          storage::aoDenyWrite;
    if (FForPacking && !platform::FileExists(FArcName)) options |= storage::aoCreate;
    FFolder = std::make_unique<TStructStorageFolder>(FArcName, options, false);
    FFolder->ForEachElement(addChild);
    return;
  }
  // A sub-storage that cannot be opened shows as an empty folder.
  TStructStorageFolder* parentFolder = ParentFolder();
  if (parentFolder && FStat && parentFolder->OpenSubFolder(FStat->pwcsName, FFolder))
    FFolder->ForEachElement(addChild);
}

void TqorStorageDir::Close() {
  TqorWCXDir::Close();
  FFolder.reset();
}

void TqorStorageDir::AddChildEntry(StatCopy stat) {
  if (stat->type == STGTY_STORAGE)
    new TqorStorageDir(this, std::move(stat));
  else if (stat->type == STGTY_STREAM)
    new TqorStorageFile(this, std::move(stat));
  else
    throw rtl::Exception("Unknown type");
}

template <class Element>
bool TqorStorageDir::AddNodeFor(Element& element) {
  StatCopy stat = storage::NewStat();
  if (!element.QueryStat(*stat, true)) return false;
  AddChildEntry(std::move(stat));
  return true;
}

int32_t TqorStorageDir::CreateFolder(const std::string& name) {
  const std::u16string element = UnescapeElementName(name);
  if (!UsableElementName(element) || !FFolder) return E_EWRITE;
  // An existing storage is reused and an existing stream refused: nothing
  // that is already there is ever replaced.
  if (!FFolder->CreateElement(Ole(element), true, false) &&
      FFolder->LastHResult() != STG_E_FILEALREADYEXISTS)
    return E_EWRITE;
  std::unique_ptr<TStructStorageFolder> folder;
  if (!FFolder->OpenSubFolder(Ole(element), folder)) return E_EWRITE;
  return AddNodeFor(*folder) ? 0 : E_EWRITE;
}

int32_t TqorStorageDir::AddFile(const std::string& srcPath, const std::string& name) {
  const std::u16string element = UnescapeElementName(name);
  if (!UsableElementName(element) || !FFolder) return E_EWRITE;
  const std::string progressPath =
      GetPath().empty() ? name : GetPath() + platform::kPathDelim + name;
  return StoreReplacing(element, srcPath + name, progressPath);
}

int32_t TqorStorageDir::StoreReplacing(const std::u16string& target, const std::string& srcFile,
                                       const std::string& progressPath) {
  rtl::TFileStream source(srcFile, rtl::TFileStream::Mode::fmOpenReadDenyWrite);
  std::u16string temporary;
  if (!CreateTemporaryStream(*FFolder, temporary)) return E_EWRITE;
  auto discard = [&] { FFolder->RemoveElement(Ole(temporary)); };

  int32_t result;
  try {
    std::unique_ptr<TStructStorageStream> stream;
    if (!FFolder->OpenStreamElement(Ole(temporary), stream)) {
      discard();
      return E_EWRITE;
    }
    result = CopyLoop(source, stream.get(),
                      [&](int32_t n) { return DoProcessData(progressPath, n); });
  } catch (...) {
    discard();
    throw;
  }
  if (result != 0) {
    discard();
    return result;
  }

  // Every byte is in: only now does an existing stream of the name go.
  if (!FFolder->RenameElement(Ole(temporary), Ole(target))) {
    std::unique_ptr<TStructStorageStream> existing;
    const bool isStream = FFolder->LastHResult() == STG_E_FILEALREADYEXISTS &&
                          FFolder->OpenStreamElement(Ole(target), existing);
    existing.reset();
    if (!isStream || !FFolder->RemoveElement(Ole(target))) {
      discard();
      return E_EWRITE;
    }
    // Should this fail, the new content stays under the temporary name
    // rather than being lost with the old.
    if (!FFolder->RenameElement(Ole(temporary), Ole(target))) return E_EWRITE;
  }
  std::unique_ptr<TStructStorageStream> stored;
  if (!FFolder->OpenStreamElement(Ole(target), stored) || !AddNodeFor(*stored)) return E_EWRITE;
  return 0;
}

void RegisterStorageArchiveClass() { wcx::RegisterArchiveClass(TqorStorageDir::Class()); }

}  // namespace storagewcx
