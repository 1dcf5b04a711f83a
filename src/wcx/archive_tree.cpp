#include "wcx/archive_tree.h"

#include <algorithm>
#include <utility>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "rtl/file_names.h"
#include "rtl/format.h"
#include "rtl/no_destructor.h"
#include "wcx/names.h"
#include "wcx/wcx_error.h"

namespace wcx {

std::atomic<int32_t> LiveItemCount = 0;

// ---- TqorWCXFile ------------------------------------------------------------

TqorWCXFile::TqorWCXFile(TqorWCXDir* parent, const std::string& rawName) : FParent(parent) {
  if (FParent) {
    uint32_t keyHash = 0;
    FName =
        FParent->FListing ? SanitizeName(rawName) : FParent->UniqueDisplayName(rawName, keyHash);
    if (FName != rawName) FParent->FRawNames[this] = rawName;
    try {
      FParent->Link(this, keyHash);
    } catch (...) {
      FParent->FRawNames.erase(this);
      throw;
    }
  } else if (!rawName.empty()) {
    FName = SanitizeName(rawName);  // an archive root's path stays empty
  }
  // Counted once nothing can fail any more: a node whose construction
  // fails is never destroyed.
  ++LiveItemCount;
}

TqorWCXFile::~TqorWCXFile() {
  if (FParent) FParent->Unlink(this);
  --LiveItemCount;
}

void TqorWCXFile::FillHeader(EntryHeader& header) { header.FileName = GetPath(); }

void TqorWCXFile::GetHeaderData(EntryHeader& header) { FillHeader(header); }

int32_t TqorWCXFile::DoChangeVol(const std::string& name, int32_t mode) {
  return FParent ? FParent->DoChangeVol(name, mode) : 0;
}

int32_t TqorWCXFile::DoProcessData(const std::string& name, int32_t size) {
  return FParent ? FParent->DoProcessData(name, size) : 1;
}

int32_t TqorWCXFile::TestItem() { return E_NOT_SUPPORTED; }

int32_t TqorWCXFile::ExtractTo(const std::string&) { return E_NOT_SUPPORTED; }

int32_t TqorWCXFile::DeleteItem() { return E_NOT_SUPPORTED; }

std::string TqorWCXFile::GetPath() const {
  // Written back to front into a string sized first: the listing asks for
  // the path of every entry. A delimiter goes before each name that has a
  // non-empty name above it.
  size_t length = 0;
  size_t delimiters = 0;
  size_t level = 0;
  for (const TqorWCXFile* node = this; node; node = node->FParent, ++level) {
    length += node->FName.size();
    if (!node->FName.empty()) delimiters = level;
  }
  std::string path(length + delimiters, '\0');
  size_t end = path.size();
  level = 0;
  for (const TqorWCXFile* node = this; node; node = node->FParent, ++level) {
    end -= node->FName.size();
    node->FName.copy(path.data() + end, node->FName.size());
    if (level < delimiters) path[--end] = platform::kPathDelim;
  }
  return path;
}

const std::string& TqorWCXFile::RawName() const {
  if (!FParent || FParent->FRawNames.empty()) return FName;
  const auto raw = FParent->FRawNames.find(this);
  return raw == FParent->FRawNames.end() ? FName : raw->second;
}

int32_t TqorWCXFile::Depth() const {
  int32_t depth = 0;
  for (const TqorWCXFile* node = FParent; node; node = node->FParent) ++depth;
  return depth;
}

int32_t TqorWCXFile::IndexInParent() const {
  return FParent ? static_cast<int32_t>(FIndexInParent) : 0;
}

// ---- TqorWCXDir -------------------------------------------------------------

TqorWCXDir::TqorWCXDir(TqorWCXDir* parent, const std::string& rawName)
    : TqorWCXFile(parent, rawName) {}

TqorWCXDir::~TqorWCXDir() { ShutDown(); }

void TqorWCXDir::ShutDown() noexcept {
  // A destructor must not throw; the folders are released all the same.
  while (TqorWCXFile* item = CurrentItem()) {
    TqorWCXDir* folder = item->Parent();
    try {
      folder->Close();
    } catch (...) {
      folder->FCurrent = nullptr;
    }
  }
  try {
    if (FOpenRef != 0) Close();
  } catch (...) {
  }
  FreeItems();
  FCurrent = nullptr;
  FOpenRef = 0;
}

const TqorWCXDirClass& TqorWCXDir::Class() {
  static const rtl::NoDestructor<TqorWCXDirClass> instance;
  return instance.get();
}

void TqorWCXDir::GetHeaderData(EntryHeader& header) {
  TqorWCXFile::GetHeaderData(header);
  header.FileAttr |= static_cast<int32_t>(platform::kFolderMark);
}

int32_t TqorWCXDir::DoChangeVol(const std::string& name, int32_t mode) {
  if (!FParent && FCallbacks.HasChangeVol()) return FCallbacks.ChangeVol(name, mode);
  return TqorWCXFile::DoChangeVol(name, mode);
}

int32_t TqorWCXDir::DoProcessData(const std::string& name, int32_t size) {
  if (!FParent && FCallbacks.HasProcessData()) return FCallbacks.ProcessData(name, size);
  return TqorWCXFile::DoProcessData(name, size);
}

int32_t TqorWCXDir::TestItem() {
  // Content that is not shown is not tested either.
  return Depth() < kMaxEntryDepth ? 0 : E_BAD_DATA;
}

int32_t TqorWCXDir::ExtractTo(const std::string& target) {
  if (Depth() >= kMaxEntryDepth) return E_BAD_DATA;
  return platform::CreateDir(target) ? 0 : E_EWRITE;
}

std::string TqorWCXDir::UniqueDisplayName(const std::string& rawName, uint32_t& hash) const {
  std::string sanitized = SanitizeName(rawName);
  hash = NameKeyHash(sanitized);
  if (IndexOfKey(sanitized, hash) < 0) return sanitized;
  uint32_t& n = FNextSuffix[rtl::LowerCaseFileName(sanitized)];
  std::string name;
  for (n = std::max(n, 2u);; ++n) {
    name = rtl::Format("%s (%02X)", sanitized.c_str(), n);
    hash = NameKeyHash(name);
    if (IndexOfKey(name, hash) < 0) break;
  }
  ++n;
  return name;
}

void TqorWCXDir::Open() {
  ReleaseHeldFolder();
  FreeItems();
  if (FOpenRef != 0) throw rtl::Exception("Open error: FOpenRef <> 0");
  FOpenRef = 1;
  if (Depth() >= kMaxEntryDepth) throw EWCXError(E_BAD_DATA, "nested too deeply to be shown");
}

void TqorWCXDir::Close() {
  ReleaseHeldFolder();
  FreeItems();
  FCurrent = nullptr;
  if (FOpenRef != 1) throw rtl::Exception("Close error: FOpenRef <> 1");
  FOpenRef = 0;
}

int32_t TqorWCXDir::CreateFolder(const std::string&) { return E_NOT_SUPPORTED; }

int32_t TqorWCXDir::AddFile(const std::string&, const std::string&, const ListedPlace&) {
  return E_NOT_SUPPORTED;
}

int32_t TqorWCXDir::GetOpenMode() const { return FParent ? FParent->GetOpenMode() : FOpenMode; }

std::string TqorWCXDir::HostNameToRawName(const std::string& hostName) const { return hostName; }

int32_t TqorWCXDir::CommitChanges() { return 0; }

void TqorWCXDir::PlanAdding(uint64_t) {}

void TqorWCXDir::RevertChanges() {}

void TqorWCXDir::FinishChanges() { ShutDown(); }

bool TqorWCXDir::CreatedArchive() const { return false; }

void TqorWCXDir::DiscardArchive() {}

std::string TqorWCXDir::ListedNameOf(const std::string& hostName) const {
  return SanitizeName(HostNameToRawName(hostName));
}

int32_t TqorWCXDir::IndexOfHostName(const std::string& hostName) const {
  return IndexOfName(ListedNameOf(hostName));
}

std::string TqorWCXDir::ListedPathOf(const std::string& hostPath) const {
  std::string path;
  for (size_t start = 0;;) {
    const size_t end = hostPath.find(platform::kPathDelim, start);
    path += ListedNameOf(hostPath.substr(start, end - start));
    if (end == std::string::npos) return path;
    path += platform::kPathDelim;
    start = end + 1;
  }
}

TqorWCXFile* TqorWCXDir::Items(int64_t index) const {
  if (index < 0 || index >= static_cast<int64_t>(FItems.size())) throw rtl::EListError(index);
  return FItems[static_cast<size_t>(index)];
}

int32_t TqorWCXDir::IndexOfName(const std::string& name) const {
  return IndexOfKey(name, NameKeyHash(name));
}

int32_t TqorWCXDir::IndexOfKey(std::string_view name, uint32_t hash) const {
  EnsureIndexed();
  // Keys are built only for a hash that matches: a true twin, or rarely
  // another name.
  std::string key;
  const int64_t found = FNameIndex.Find(hash, [&](uint32_t position) {
    const std::string& candidate = FItems[position]->FName;
    if (candidate == name) return true;
    if (key.empty()) key = rtl::LowerCaseFileName(name);
    return rtl::LowerCaseFileName(candidate) == key;
  });
  return static_cast<int32_t>(found);
}

void TqorWCXDir::FreeItems() {
  // Emptied first, the index has nothing for each node to take out.
  FNameIndex.Clear();
  FIndexed = false;
  while (!FItems.empty()) delete FItems.back();
  FRawNames.clear();
  FNextSuffix.clear();
}

void TqorWCXDir::EnsureIndexed() const {
  if (FIndexed) return;
  for (const TqorWCXFile* item : FItems)
    FNameIndex.Insert(NameKeyHash(item->FName), item->FIndexInParent);
  FIndexed = true;
}

bool TqorWCXDir::ListChildren(const std::function<bool()>& list) {
  FNameIndex.Clear();
  FIndexed = false;
  FListing = true;
  bool listed = false;
  try {
    listed = list();
  } catch (...) {
    FListing = false;
    FreeItems();
    throw;
  }
  FListing = false;
  SettleNames();
  return listed;
}

void TqorWCXDir::SettleNames() {
  const auto nameAt = [this](size_t i) { return std::string_view(FItems[i]->FName); };
  if (!AnyKeyRepeats(FItems.size(), nameAt)) return;
  // Named again in order with the index that grows as they go, as linking
  // did child by child: the first of two twins keeps the plain name.
  FNameIndex.Clear();
  FNextSuffix.clear();
  FIndexed = true;
  for (TqorWCXFile* item : FItems) {
    const std::string raw = item->RawName();
    uint32_t hash = 0;
    SetDisplayName(*item, UniqueDisplayName(raw, hash), raw);
    FNameIndex.Insert(hash, item->FIndexInParent);
  }
}

void TqorWCXDir::SetDisplayName(TqorWCXFile& child, std::string name, const std::string& rawName) {
  if (name == rawName)
    FRawNames.erase(&child);
  else
    FRawNames[&child] = rawName;
  child.FName = std::move(name);
}

TqorWCXFile* TqorWCXDir::CurrentItem() const {
  TqorWCXFile* item = FCurrent;
  while (item) {
    TqorWCXDir* dir = item->AsDir();
    if (!dir || !dir->FCurrent) break;
    item = dir->FCurrent;
  }
  return item;
}

void TqorWCXDir::Link(TqorWCXFile* child, uint32_t keyHash) {
  child->FIndexInParent = static_cast<uint32_t>(FItems.size());
  FItems.push_back(child);
  if (FIndexed)
    FNameIndex.Insert(FListing ? NameKeyHash(child->FName) : keyHash, child->FIndexInParent);
}

void TqorWCXDir::Unlink(TqorWCXFile* child) {
  const uint32_t index = child->FIndexInParent;
  if (index >= FItems.size() || FItems[index] != child) return;
  if (FIndexed && !FNameIndex.Empty()) {
    FNameIndex.Erase(NameKeyHash(child->FName), index);
    if (index + 1 < FItems.size()) FNameIndex.CloseGap(index);
  }
  FRawNames.erase(child);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
  for (size_t i = index; i < FItems.size(); ++i) FItems[i]->FIndexInParent = static_cast<uint32_t>(i);
  if (FCurrent == child) FCurrent = nullptr;
  if (FHeldOpen == child) FHeldOpen = nullptr;
}

void TqorWCXDir::ReplaceItem(TqorWCXFile* old, TqorWCXFile* replacement) {
  // Swapping positions first makes the old node the last one, so its removal
  // does not shift the list: replacing n entries stays linear.
  // Their slots in the index follow them.
  EnsureIndexed();
  const uint32_t oldHash = NameKeyHash(old->FName);
  const uint32_t replacementHash = NameKeyHash(replacement->FName);
  FNameIndex.Erase(oldHash, old->FIndexInParent);
  FNameIndex.Erase(replacementHash, replacement->FIndexInParent);
  std::swap(FItems[old->FIndexInParent], FItems[replacement->FIndexInParent]);
  std::swap(old->FIndexInParent, replacement->FIndexInParent);
  FNameIndex.Insert(oldHash, old->FIndexInParent);
  FNameIndex.Insert(replacementHash, replacement->FIndexInParent);
  delete old;
  const std::string raw = replacement->RawName();
  std::string name = SanitizeName(raw);
  const uint32_t hash = NameKeyHash(name);
  if (name != replacement->FName && IndexOfKey(name, hash) < 0) {
    FNameIndex.Erase(replacementHash, replacement->FIndexInParent);
    SetDisplayName(*replacement, std::move(name), raw);
    FNameIndex.Insert(hash, replacement->FIndexInParent);
  }
}

void TqorWCXDir::ReleaseHeldFolder() {
  if (TqorWCXDir* held = std::exchange(FHeldOpen, nullptr)) held->Close();
}

// ---- TqorWCXDirClass --------------------------------------------------------

int32_t TqorWCXDirClass::GetCapabilities() const { throw rtl::EAbstractError(); }

bool TqorWCXDirClass::CanHandleFile(const std::string&) const { throw rtl::EAbstractError(); }

std::unique_ptr<TqorWCXDir> TqorWCXDirClass::CreateArchive(const std::string& arcName,
                                                           int32_t openMode,
                                                           bool forPacking) const {
  std::unique_ptr<TqorWCXDir> root = NewRoot();
  root->FArcName = arcName;
  root->FOpenMode = openMode;
  root->FForPacking = forPacking;
  return root;
}

std::unique_ptr<TqorWCXDir> TqorWCXDirClass::NewRoot() const {
  return std::make_unique<TqorWCXDir>(nullptr, std::string());
}

}  // namespace wcx
