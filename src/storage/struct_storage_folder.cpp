#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "platform/unicode.h"
#include "storage/open_queue.h"
#include "storage/struct_storage.h"
#include "storage/wide_buffer.h"

namespace storage {
namespace {

// The system's text for a code, without the trailing line break and full
// stop the system adds.
std::string TrimmedMessage(HRESULT code) {
  std::string text = platform::SysErrorMessage(static_cast<uint32_t>(code)).substr(0, 255);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace

TStructStorageFolder::TStructStorageFolder(const std::string& fileName, TStgAccessOptions options,
                                           bool openNow)
    : FDocFileName(fileName), FAccessSet(options), FStgMode(AccessToStgMode(options)) {
  // Without a name the platform makes a temporary file that goes away with
  // the storage.
  if (FDocFileName.empty()) FStgMode |= STGM_DELETEONRELEASE;
  if (openNow) EnsureOpen();
}

TStructStorageFolder::~TStructStorageFolder() = default;

void TStructStorageFolder::EnsureOpen() {
  if (FStorageIntf) return;
  WideBuffer name = StringToWideBuffer(FDocFileName);
  IStorage* storage = nullptr;
  HRESULT hr;
  if (!(FAccessSet & aoCreate)) {
    auto damaged = std::make_shared<platform::DamagedStreams>();
    hr = OpenWaitingForHolders(
        FDocFileName, (FAccessSet & aoWrite) ? OpenRole::kWriter : OpenRole::kReader, FAskToWait,
        [&](const QOR_KEEP_WAITING& keepWaiting) {
          return platform::OpenCheckedStorage(name.get(), FStgMode, keepWaiting, &storage, *damaged);
        });
    if (!damaged->empty()) FDamagedStreams = std::move(damaged);
  } else if (FAccessSet & aoLargeSectors) {
    STGOPTIONS options{};
    options.usVersion = 1;
    options.ulSectorSize = 4096;
    hr = StgCreateStorageEx(name.get(), FStgMode, STGFMT_DOCFILE, 0, &options, nullptr,
                            IID_IStorage, reinterpret_cast<void**>(&storage));
  } else {
    hr = StgCreateDocfile(name.get(), FStgMode, 0, &storage);
  }
  if (FAILED(hr)) throw EStructStorageError(TrimmedMessage(hr), hr);
  FStorageIntf = platform::ComPtr<IStorage>::Adopt(storage);
}

bool TStructStorageFolder::RecordResult(HRESULT code) {
  FLastHResult = code;
  return SUCCEEDED(code);
}

bool TStructStorageFolder::HasDamageUnder(const platform::ElementPath& path) const {
  if (!FDamagedStreams) return false;
  const auto at = FDamagedStreams->lower_bound(path);
  return at != FDamagedStreams->end() && at->size() >= path.size() &&
         std::equal(path.begin(), path.end(), at->begin());
}

bool TStructStorageFolder::RefusedAsDamaged(const OLECHAR* name) {
  platform::ElementPath path = FPath;
  path.push_back(platform::MatchKey(name));
  if (!HasDamageUnder(path)) return false;
  RecordResult(STG_E_DOCFILECORRUPT);
  return true;
}

bool TStructStorageFolder::CreateElement(const OLECHAR* name, bool asStorage,
                                         bool replaceExisting) {
  EnsureOpen();
  if (replaceExisting && RefusedAsDamaged(name)) return false;
  const DWORD kMode =
      (replaceExisting ? STGM_CREATE : STGM_FAILIFTHERE) | STGM_SHARE_EXCLUSIVE | STGM_READ;
  HRESULT hr;
  if (asStorage) {
    platform::ComPtr<IStorage> created;
    hr = FStorageIntf->CreateStorage(name, kMode, 0, 0, created.Receive());
  } else {
    platform::ComPtr<IStream> created;
    hr = FStorageIntf->CreateStream(name, kMode, 0, 0, created.Receive());
  }
  return RecordResult(hr);
}

bool TStructStorageFolder::CreateStreamElement(const OLECHAR* name,
                                               std::unique_ptr<TStructStorageStream>& stream) {
  EnsureOpen();
  stream.reset();
  platform::ComPtr<IStream> created;
  if (!RecordResult(FStorageIntf->CreateStream(name, STGM_FAILIFTHERE | ChildStgMode(FAccessSet),
                                               0, 0, created.Receive())))
    return false;
  stream = std::make_unique<TStructStorageStream>();
  stream->FStreamIntf = std::move(created);
  return true;
}

bool TStructStorageFolder::RemoveElement(const OLECHAR* name) {
  EnsureOpen();
  if (RefusedAsDamaged(name)) return false;
  return RecordResult(FStorageIntf->DestroyElement(name));
}

bool TStructStorageFolder::RenameElement(const OLECHAR* oldName, const OLECHAR* newName) {
  EnsureOpen();
  if (RefusedAsDamaged(oldName)) return false;
  return RecordResult(FStorageIntf->RenameElement(oldName, newName));
}

bool TStructStorageFolder::OpenStreamElement(const OLECHAR* name,
                                             std::unique_ptr<TStructStorageStream>& stream) {
  EnsureOpen();
  stream.reset();
  if (RefusedAsDamaged(name)) return false;
  platform::ComPtr<IStream> opened;
  if (FAILED(
          FStorageIntf->OpenStream(name, nullptr, ChildStgMode(FAccessSet), 0, opened.Receive())))
    return false;
  stream = std::make_unique<TStructStorageStream>();
  stream->FStreamIntf = std::move(opened);
  return true;
}

bool TStructStorageFolder::OpenSubFolder(const OLECHAR* name,
                                         std::unique_ptr<TStructStorageFolder>& folder) {
  EnsureOpen();
  folder.reset();
  const uint32_t childMode = ChildStgMode(FAccessSet);
  platform::ComPtr<IStorage> opened;
  if (FAILED(FStorageIntf->OpenStorage(name, nullptr, childMode, nullptr, 0, opened.Receive())))
    return false;
  std::string parentName;
  QueryName(parentName);
  folder = std::make_unique<TStructStorageFolder>(parentName, FAccessSet, false);
  folder->FStgMode = childMode;
  folder->FStorageIntf = std::move(opened);
  folder->FDamagedStreams = FDamagedStreams;
  folder->FPath = FPath;
  folder->FPath.push_back(platform::MatchKey(name));
  return true;
}

bool TStructStorageFolder::ForEachElement(const TStgElementHandler& handler) {
  EnsureOpen();
  platform::ComPtr<IEnumSTATSTG> elements;
  if (!RecordResult(FStorageIntf->EnumElements(0, nullptr, 0, elements.Receive()))) return false;
  for (;;) {
    STATSTG stat;
    std::memset(&stat, 0, sizeof stat);
    ULONG fetched = 0;
    const HRESULT hr = elements->Next(1, &stat, &fetched);
    if (FAILED(hr)) return RecordResult(hr);
    if (fetched != 1) break;
    StatCopy copy = CopyStat(stat);
    if (stat.type == STGTY_STORAGE || stat.type == STGTY_STREAM) handler(std::move(copy));
  }
  return true;
}

bool TStructStorageFolder::Commit() {
  EnsureOpen();
  return RecordResult(FStorageIntf->Commit(STGC_DEFAULT));
}

bool TStructStorageFolder::Revert() {
  EnsureOpen();
  return RecordResult(FStorageIntf->Revert());
}

bool TStructStorageFolder::QueryStat(STATSTG& stat, bool includeName) {
  EnsureOpen();
  return RecordResult(FStorageIntf->Stat(&stat, includeName ? STATFLAG_DEFAULT : STATFLAG_NONAME));
}

void TStructStorageFolder::QueryName(std::string& name) {
  STATSTG stat;
  std::memset(&stat, 0, sizeof stat);
  if (FStorageIntf && RecordResult(FStorageIntf->Stat(&stat, STATFLAG_DEFAULT))) {
    StatCopy owned = CopyStat(stat);
    name = owned->pwcsName
               ? platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(owned->pwcsName))
               : std::string();
  } else {
    name = FDocFileName;
  }
}

void TStructStorageFolder::AssignTo(rtl::TPersistent* dest) {
  auto* folder = dynamic_cast<TStructStorageFolder*>(dest);
  if (!folder) return TPersistent::AssignTo(dest);
  EnsureOpen();
  folder->EnsureOpen();
  if (HasDamageUnder(FPath)) {
    RecordResult(STG_E_DOCFILECORRUPT);
    return;
  }
  RecordResult(FStorageIntf->CopyTo(0, nullptr, nullptr, folder->FStorageIntf.Get()));
}

HRESULT TStructStorageFolder::Compact(const std::string& fileName, uint32_t sectorSize,
                                      uint32_t minFreePercent, uint64_t minFreeBytes) {
  WideBuffer name = StringToWideBuffer(fileName);
  const QOR_COMPACTION options{sectorSize, minFreePercent, minFreeBytes};
  return QorCompactStorageFile(name.get(), &options);
}

TStgCompactionNeed TStructStorageFolder::CompactionNeed(uint32_t minFreePercent,
                                                       uint64_t minFreeBytes) const {
  QOR_FILE_ROOM room{};
  if (!FStorageIntf || QorQueryFileRoom(FStorageIntf.Get(), &room) != S_OK)
    return TStgCompactionNeed::kUnknown;
  const QOR_COMPACTION options{0, minFreePercent, minFreeBytes};
  return QorCompactionWorthIt(room, options) ? TStgCompactionNeed::kYes : TStgCompactionNeed::kNo;
}

HRESULT TStructStorageFolder::IsCompoundFile(const std::string& fileName) {
  WideBuffer name = StringToWideBuffer(fileName);
  return StgIsStorageFile(name.get());
}

}  // namespace storage
