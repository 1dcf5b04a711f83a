#include "storagewcx/storage_entries.h"

#include <algorithm>

#include "platform/os.h"
#include "rtl/no_destructor.h"
#include "storagewcx/capacity.h"
#include "storagewcx/copy_loop.h"
#include "storagewcx/element_name.h"
#include "storagewcx/installer_names.h"
#include "storagewcx/name_style.h"
#include "storagewcx/open_failure.h"
#include "storagewcx/stream_store.h"
#include "storagewcx/views/content_views.h"
#include "wcx/header_time.h"
#include "wcx/names.h"
#include "wcx/wcx_error.h"
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

const char16_t* NameOf(const STATSTG& stat) {
  return reinterpret_cast<const char16_t*>(stat.pwcsName);
}

bool IsDated(const FILETIME& time) { return time.dwLowDateTime != 0 || time.dwHighDateTime != 0; }

// Sizes, time and attributes that both kinds of element show. Where the
// host has no way to show "no date", an element without a time shows its
// storage's (TqorStorageDir::ShownTime).
void FillElementHeader(uint64_t size, FILETIME time, uint32_t attr, const TqorStorageDir* parent,
                       wcx::EntryHeader& header) {
  header.PackSize = header.UnpSize = size;
  if (IsDated(time))
    header.OwnTime = time;
  else if (parent && platform::kAbsentTimeShown == platform::AbsentTimeShown::kNearestDated)
    time = parent->ShownTime();
  if (IsDated(time)) {
    try {
      header.FileTime = wcx::EncodeHeaderTime(time);
    } catch (...) {
      header.FileTime = 0;
    }
  }
  header.FileAttr = static_cast<int32_t>(attr);
}

// Whether the open element bears exactly this name. A store that finds
// names without regard to case (the system's) may hand out a sibling whose
// name differs only in case: that one is refused, never read in its place.
template <class Element>
bool IsNamed(Element& element, const OLECHAR* name) {
  StatCopy stat = storage::NewStat();
  if (!element.QueryStat(*stat, true) || !stat->pwcsName) return false;
  return std::basic_string_view<OLECHAR>(stat->pwcsName) == std::basic_string_view<OLECHAR>(name);
}

bool OpenOwnStream(TStructStorageFolder& folder, const OLECHAR* name,
                   std::unique_ptr<TStructStorageStream>& stream) {
  if (folder.OpenStreamElement(name, stream) && IsNamed(*stream, name)) return true;
  stream.reset();
  return false;
}

bool OpenOwnFolder(TStructStorageFolder& parent, const OLECHAR* name,
                   std::unique_ptr<TStructStorageFolder>& folder) {
  if (parent.OpenSubFolder(name, folder) && IsNamed(*folder, name)) return true;
  folder.reset();
  return false;
}

constexpr uint32_t kKeepSectorSize = 0;
constexpr uint32_t kLargeSectorSize = 4096;
constexpr const char* kPastSmallSectors = "the archive has 512-byte sectors and cannot grow past 2 GB";
// Edits that leave more than half of the file, and 1 MiB, free compact it.
constexpr uint32_t kCompactFreePercent = 50;
constexpr uint64_t kCompactFreeBytes = 1 << 20;

TStructStorageFolder* FolderOf(wcx::TqorWCXDir* parent) {
  auto* dir = dynamic_cast<TqorStorageDir*>(parent);
  return dir ? dir->Folder() : nullptr;
}

// Whether a store takes both names for one element: every store finds
// names without regard to the case of ASCII letters at least.
bool SameElementName(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
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

// A node of a million that the parent's entries take no more room than this.
static_assert(sizeof(void*) != 8 || sizeof(TqorStorageFile) <= 56);

TqorStorageFile::TqorStorageFile(TqorStorageDir* parent, StatCopy stat)
    : TqorWCXFile(parent, ShownElementName(parent->Names(), NameOf(*stat))) {
  ElementRecord element(std::move(stat));
  // A plain name shown without an escape converts back exactly: a listing
  // keeps no copy of it.
  if (parent->Names() == NameStyle::kPlain && RawName().find('#') == std::string::npos)
    element.name.reset();
  if (!element && !IsDated(element.mtime) && element.size <= UINT32_MAX)
    FSize = static_cast<uint32_t>(element.size);
  else
    parent->FStreamRecords.emplace(this, std::move(element));
}

TqorStorageFile::~TqorStorageFile() { Storage()->FStreamRecords.erase(this); }

TqorStorageDir* TqorStorageFile::Storage() const { return static_cast<TqorStorageDir*>(FParent); }

const ElementRecord* TqorStorageFile::FullRecord() const {
  const auto& records = Storage()->FStreamRecords;
  if (records.empty()) return nullptr;
  const auto record = records.find(this);
  return record == records.end() ? nullptr : &record->second;
}

std::u16string TqorStorageFile::ElementName() const {
  const ElementRecord* record = FullRecord();
  return record && *record ? std::u16string(record->Name()) : UnescapeElementName(RawName());
}

TStructStorageFolder* TqorStorageFile::ParentFolder() const { return FolderOf(FParent); }

void TqorStorageFile::FillHeader(wcx::EntryHeader& header) {
  TqorWCXFile::FillHeader(header);
  const ElementRecord* record = FullRecord();
  FillElementHeader(record ? record->size : FSize, record ? record->mtime : FILETIME{},
                    platform::kStreamAttr, Storage(), header);
}

int32_t TqorStorageFile::TestItem() { return CopyToStream(nullptr); }

int32_t TqorStorageFile::ExtractTo(const std::string& destPath) {
  rtl::TFileStream file(destPath, rtl::TFileStream::Mode::fmCreate);
  return CopyToStream(&file);
}

int32_t TqorStorageFile::CopyToStream(rtl::TStream* target) {
  TStructStorageFolder* folder = ParentFolder();
  std::unique_ptr<TStructStorageStream> stream;
  if (!folder || !OpenOwnStream(*folder, Ole(ElementName()), stream)) return E_EREAD;
  try {
    return CopyLoop(*stream, target, [this](int32_t n) { return DoProcessData(GetPath(), n); });
  } catch (...) {
    return E_EWRITE;
  }
}

int32_t TqorStorageFile::DeleteItem() {
  TStructStorageFolder* folder = ParentFolder();
  std::unique_ptr<TStructStorageStream> stream;
  const std::u16string name = ElementName();
  if (!folder || !OpenOwnStream(*folder, Ole(name), stream)) return E_EREAD;
  stream.reset();
  return folder->RemoveElement(Ole(name)) ? 0 : E_EREAD;
}

// ---- TqorStorageDir ---------------------------------------------------------

TqorStorageDir::TqorStorageDir() : TqorWCXDir(nullptr, std::string()) {}

TqorStorageDir::TqorStorageDir(TqorStorageDir* parent, StatCopy stat)
    : TqorWCXDir(parent, ShownElementName(parent->Names(), NameOf(*stat))),
      FElement(std::move(stat)),
      FNames(parent->Names()) {}

TqorStorageDir::~TqorStorageDir() { ShutDown(); }

const wcx::TqorWCXDirClass& TqorStorageDir::Class() {
  static const rtl::NoDestructor<StorageDirClass> instance;
  return instance.get();
}

TStructStorageFolder* TqorStorageDir::ParentFolder() const { return FolderOf(FParent); }

void TqorStorageDir::FillHeader(wcx::EntryHeader& header) {
  TqorWCXDir::FillHeader(header);
  if (FElement)
    FillElementHeader(FElement.size, FElement.mtime, platform::kFolderAttr,
                      dynamic_cast<TqorStorageDir*>(FParent), header);
}

FILETIME TqorStorageDir::ShownTime() const {
  if (!FElement) return FRootTime;
  if (IsDated(FElement.mtime)) return FElement.mtime;
  const auto* parent = dynamic_cast<const TqorStorageDir*>(FParent);
  return parent ? parent->ShownTime() : FILETIME{};
}

int32_t TqorStorageDir::TestItem() {
  if (!FParent) return 0;
  return IsReadable() ? TqorWCXDir::TestItem() : wcx::E_BAD_DATA;
}

int32_t TqorStorageDir::ExtractTo(const std::string& target) {
  return IsReadable() ? TqorWCXDir::ExtractTo(target) : wcx::E_BAD_DATA;
}

bool TqorStorageDir::IsReadable() {
  if (FFolder) return FListedWhole;
  TStructStorageFolder* parentFolder = ParentFolder();
  std::unique_ptr<TStructStorageFolder> probe;
  // A storage whose directory breaks off part-way is as unreadable as one
  // that does not open.
  return parentFolder && FElement && OpenOwnFolder(*parentFolder, FElement.name.get(), probe) &&
         probe->ForEachElement([](StatCopy) {});
}

int32_t TqorStorageDir::DeleteItem() {
  TStructStorageFolder* folder = ParentFolder();
  if (!FElement || !folder || !IsReadable()) return E_EREAD;
  return folder->RemoveElement(FElement.name.get()) ? 0 : E_EREAD;
}

void TqorStorageDir::Open() {
  TqorWCXDir::Open();
  FFolder.reset();
  FListedWhole = true;
  if (!FParent) return OpenRoot();
  // A sub-storage that cannot be opened shows as an empty folder; testing
  // or extracting it reports it.
  TStructStorageFolder* parentFolder = ParentFolder();
  if (parentFolder && FElement && OpenOwnFolder(*parentFolder, FElement.name.get(), FFolder))
    FListedWhole = ListChildren([this] {
      return FFolder->ForEachElement([this](StatCopy stat) { AddChildEntry(std::move(stat)); });
    });
}

void TqorStorageDir::OpenRoot() {
  TStgAccessOptions options =
      Writable() ? storage::aoRead | storage::aoWrite | storage::aoDenyRead | storage::aoDenyWrite
                 : storage::aoRead | storage::aoDenyWrite;
  const bool create = FForPacking && !platform::FileExists(FArcName);
  if (create) {
    options |= storage::aoCreate | storage::aoFailIfThere;
    if (FPlannedBytes && !FitsSmallSectors(0, *FPlannedBytes))
      options |= storage::aoLargeSectors;
    else
      FSmallSectors = SmallSectorRoom{0};
  } else if (FForPacking) {
    const CompoundFileSize size = SizeOfCompoundFile(FArcName);
    if (size.sectorSize != 512) {
      // Nothing to watch: 4096-byte sectors reach far enough.
    } else if (!FPlannedBytes || FitsSmallSectors(size.bytes, *FPlannedBytes)) {
      FSmallSectors = SmallSectorRoom{size.bytes};
    } else if (TStructStorageFolder::Compact(FArcName, kLargeSectorSize, 0, 0) != S_OK) {
      // Converted through a copy that takes its place, or refused before
      // anything changes.
      throw wcx::EWCXError(E_EWRITE, kPastSmallSectors);
    }
  }
  FFolder = std::make_unique<TStructStorageFolder>(FArcName, options, false);
  // A call of size 0 moves no progress bar: it keeps the host's dialog, and
  // its cancel button, alive while another operation holds the archive.
  if (FCallbacks.HasProcessData())
    FFolder->SetAskToWait([this] { return DoProcessData(FArcName, 0) != 0; });
  StatCopy root = storage::NewStat();
  bool described = false;
  FoundContentViews views;
  try {
    described = FFolder->QueryStat(*root, false);
    if (!create) views = FindContentViews(*this);
    // Children are made as they are listed, plainly unless the root's class
    // says otherwise; the rare installer database without the class is
    // listed again once its names have told.
    FNames = described && IsInstallerClass(root->clsid) ? NameStyle::kInstaller : NameStyle::kPlain;
    InstallerNameGuess guess;
    const auto addChild = [&](StatCopy stat) {
      guess.See(*stat);
      AddChildEntry(std::move(stat));
    };
    bool listed = ListChildren([&] { return FFolder->ForEachElement(addChild); });
    if (listed && described && FNames == NameStyle::kPlain && guess.Holds()) {
      FreeItems();
      FNames = NameStyle::kInstaller;
      listed = ListChildren([this] {
        return FFolder->ForEachElement([this](StatCopy stat) { AddChildEntry(std::move(stat)); });
      });
    }
    if (!listed) throw wcx::EWCXError(wcx::E_BAD_ARCHIVE, "the archive's directory is damaged");
  } catch (const storage::EStructStorageError& error) {
    if (error.Code() == E_ABORT)
      throw wcx::EWCXError(wcx::E_EABORTED, "cancelled while the archive was in use");
    const OpenPurpose purpose = create ? OpenPurpose::kCreate : OpenPurpose::kOpenExisting;
    const int32_t result = OpenFailureResult(error.Code(), FArcName, purpose);
    throw wcx::EWCXError(result, result == wcx::E_EOPEN
                                     ? "the archive is in use by another operation: " + error.Message()
                                     : error.Message());
  }
  FCreated = create;
  // Tools that write the compound file often leave the root undated: the
  // file's own time is then the best there is.
  FRootTime = described ? root->mtime : FILETIME{};
  if (!IsDated(FRootTime) && platform::kAbsentTimeShown == platform::AbsentTimeShown::kNearestDated)
    FRootTime = platform::GetFileModifiedTime(FArcName).value_or(FILETIME{});
  AddContentViews(*this, std::move(views));
}

void TqorStorageDir::Close() {
  TqorWCXDir::Close();
  if (!FParent && FFolder && FFolder->IsOpen() && Writable()) CommitRoot();
  FFolder.reset();
}

void TqorStorageDir::CommitRoot() {
  FCommitResult = FFolder->Commit() ? 0 : E_EWRITE;
  FCompaction = FCommitResult == 0 ? FFolder->CompactionNeed(kCompactFreePercent, kCompactFreeBytes)
                                   : storage::TStgCompactionNeed::kUnknown;
}

int32_t TqorStorageDir::CommitChanges() {
  // Open: commit now. Closed: the commit its closing made.
  if (FFolder && FFolder->IsOpen()) CommitRoot();
  return std::exchange(FCommitResult, 0);
}

void TqorStorageDir::RevertChanges() {
  if (FFolder && FFolder->IsOpen()) FFolder->Revert();
}

void TqorStorageDir::FinishChanges() {
  ShutDown();
  // The commit's own counts spare reading the whole file again to find
  // there is nothing to do, the usual outcome.
  if (FParent || std::exchange(FCompaction, storage::TStgCompactionNeed::kUnknown) ==
                     storage::TStgCompactionNeed::kNo)
    return;
  TStructStorageFolder::Compact(FArcName, kKeepSectorSize, kCompactFreePercent, kCompactFreeBytes);
}

void TqorStorageDir::DiscardArchive() {
  // Removed while still held where the system allows it: once let go, the
  // name may already stand for another program's archive.
  const bool removed = FCreated && platform::RemoveFile(FArcName);
  ShutDown();
  if (FCreated && !removed) platform::RemoveFile(FArcName);
  FCreated = false;
}

std::string TqorStorageDir::HostNameToRawName(const std::string& hostName) const {
  if (FNames == NameStyle::kPlain && EscapesToItself(hostName)) return hostName;
  const std::u16string element = StoredElementName(FNames, hostName);
  return UsableElementName(element) ? ShownElementName(FNames, element.c_str()) : hostName;
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
  const std::u16string element = StoredElementName(FNames, name);
  if (!UsableElementName(element) || !FFolder) return E_EWRITE;
  // An existing storage is reused and an existing stream refused: nothing
  // that is already there is ever replaced.
  if (!FFolder->CreateElement(Ole(element), true, false) &&
      FFolder->LastHResult() != STG_E_FILEALREADYEXISTS)
    return E_EWRITE;
  std::unique_ptr<TStructStorageFolder> folder;
  if (!OpenOwnFolder(*FFolder, Ole(element), folder)) return E_EWRITE;
  return AddNodeFor(*folder) ? 0 : E_EWRITE;
}

std::u16string TqorStorageDir::ReplacedElementName(const wcx::TqorWCXFile* listedNode,
                                                   const std::u16string& stored) const {
  const auto* listed = dynamic_cast<const TqorStorageFile*>(listedNode);
  if (!listed || SameElementName(listed->ElementName(), stored)) return stored;
  return listed->ElementName();
}

int32_t TqorStorageDir::AddFile(const std::string& srcPath, const std::string& name,
                                const ListedPlace& place) {
  const std::u16string stored = StoredElementName(FNames, name);
  if (!UsableElementName(stored) || !FFolder) return E_EWRITE;
  // The place's name is the one the listing shows for the stored name
  // (HostNameToRawName).
  const int32_t index = place.index;
  const std::u16string element = ReplacedElementName(index >= 0 ? Items(index) : nullptr, stored);
  // Progress names the entry as the listing will show it.
  const std::string shown =
      element == stored ? place.name : wcx::SanitizeName(ShownElementName(FNames, element.c_str()));
  const std::string progressPath =
      GetPath().empty() ? shown : GetPath() + platform::kPathDelim + shown;
  return StoreReplacing(element, srcPath, name, progressPath,
                        index >= 0 ? NewNode::kForListedName : NewNode::kNone);
}

TqorStorageDir& TqorStorageDir::Root() {
  TqorStorageDir* root = this;
  while (root->FParent) root = static_cast<TqorStorageDir*>(root->FParent);
  return *root;
}

const platform::SourceFolder& TqorStorageDir::SourceFolderAt(const std::string& srcPath) {
  TqorStorageDir& root = Root();
  // The files of one folder come one after another: it opens once for them.
  if (!root.FSourceFolder) root.FSourceFolder = std::make_unique<platform::SourceFolder>();
  if (root.FSourceFolder->Path() != srcPath) root.FSourceFolder->Open(srcPath);
  return *root.FSourceFolder;
}

void TqorStorageDir::MakeRoomFor(uint64_t bytes) {
  TqorStorageDir& root = Root();
  if (!root.FSmallSectors) return;
  SmallSectorRoom& room = *root.FSmallSectors;
  if (!FitsSmallSectors(room.fileBytes, room.added + bytes)) {
    if (!root.FPlannedBytes) throw wcx::EPlanNeeded();
    throw wcx::EWCXError(E_EWRITE, kPastSmallSectors);
  }
  room.added += bytes;
}

int32_t TqorStorageDir::StoreReplacing(const std::u16string& target, const std::string& srcPath,
                                       const std::string& srcName, const std::string& progressPath,
                                       NewNode node) {
  rtl::TFileStream source(SourceFolderAt(srcPath), srcName);
  MakeRoomFor(static_cast<uint64_t>(source.GetSize()));
  const ProgressReport report = [&](int32_t n) { return DoProcessData(progressPath, n); };
  if (const int32_t result = StoreStream(*FFolder, target, source, report)) return result;
  if (node == NewNode::kNone) return 0;
  std::unique_ptr<TStructStorageStream> stored;
  if (!FFolder->OpenStreamElement(Ole(target), stored) || !AddNodeFor(*stored)) return E_EWRITE;
  return 0;
}

void RegisterStorageArchiveClass() { wcx::RegisterArchiveClass(TqorStorageDir::Class()); }

}  // namespace storagewcx
