#include "platform/ole/storage.h"

#include <cstring>
#include <string_view>

#include "cfb/names.h"
#include "platform/ole/copy.h"
#include "platform/ole/enum.h"
#include "platform/ole/modes.h"
#include "platform/ole/result.h"
#include "platform/ole/statstg.h"
#include "platform/ole/stream.h"

namespace platform::ole {

namespace {

std::u16string_view NameOf(const OLECHAR* name) {
  return name ? std::u16string_view(name) : std::u16string_view();
}

}  // namespace

Storage::Storage(ElementRef element, DWORD mode, bool root)
    : element_(std::move(element)), mode_(mode), root_(root) {}

Storage* Storage::CreateRoot(std::shared_ptr<SharedFile> shared) {
  const DWORD mode = shared->mode();
  const uint64_t stamp = shared->file()->Stamp(cfb::kRootId);
  return new Storage(ElementRef{std::move(shared), cfb::kRootId, stamp}, mode, true);
}

Storage::~Storage() {
  if (root_)
    element_.shared->Close();
  else
    element_.shared->Unregister(element_.id, element_.stamp);
}

bool Storage::writable() const { return ModeWrites(mode_); }

uint32_t Storage::FindChild(cfb::CompoundFile& file, const OLECHAR* name) const {
  return file.Find(element_.id, NameOf(name));
}

HRESULT Storage::FindOneChild(cfb::CompoundFile& file, const OLECHAR* name, uint32_t& id) const {
  id = FindChild(file, name);
  if (id == cfb::kNoStream) return STG_E_FILENOTFOUND;
  // Several siblings of exactly this name: no call may pick one of them at
  // random and hand out or destroy the wrong one.
  if (id == cfb::kAmbiguous) return STG_E_DOCFILECORRUPT;
  return S_OK;
}

HRESULT Storage::CreateChild(const OLECHAR* name, DWORD mode, cfb::EntryType type, void** out) {
  *out = nullptr;
  return Guarded([&]() -> HRESULT {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (const HRESULT hr = CheckChildMode(mode, true); FAILED(hr)) return hr;
    if (!writable()) return STG_E_ACCESSDENIED;
    if (!name || !cfb::IsValidNewName(name)) return STG_E_INVALIDNAME;
    const uint32_t existing = FindChild(*file, name);
    if (existing != cfb::kNoStream) {
      if (!(mode & STGM_CREATE) || existing == cfb::kAmbiguous) return STG_E_FILEALREADYEXISTS;
      if (element_.shared->IsOpen(existing, file->Stamp(existing))) return STG_E_ACCESSDENIED;
      file->DestroyElement(existing);
    }
    const uint32_t id = file->CreateElement(element_.id, name, type);
    ElementRef child{element_.shared, id, file->Stamp(id)};
    element_.shared->Register(id, child.stamp);
    if (type == cfb::EntryType::kStream)
      *out = static_cast<IStream*>(new Stream(std::move(child), mode));
    else
      *out = static_cast<IStorage*>(new Storage(std::move(child), mode, false));
    return S_OK;
  });
}

HRESULT Storage::OpenChild(const OLECHAR* name, DWORD mode, cfb::EntryType type, void** out) {
  *out = nullptr;
  return Guarded([&]() -> HRESULT {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (const HRESULT hr = CheckChildMode(mode, false); FAILED(hr)) return hr;
    if (!name || !cfb::IsPossibleName(name)) return STG_E_INVALIDNAME;
    uint32_t id;
    if (const HRESULT hr = FindOneChild(*file, name, id); FAILED(hr)) return hr;
    const bool is_stream = file->Entry(id).is_stream();
    if (is_stream != (type == cfb::EntryType::kStream)) return STG_E_FILENOTFOUND;
    if (ModeWrites(mode) && !writable()) return STG_E_ACCESSDENIED;
    if (file->IsDamaged(id)) return STG_E_DOCFILECORRUPT;
    ElementRef child{element_.shared, id, file->Stamp(id)};
    if (!element_.shared->Register(id, child.stamp)) return STG_E_ACCESSDENIED;
    if (is_stream)
      *out = static_cast<IStream*>(new Stream(std::move(child), mode));
    else
      *out = static_cast<IStorage*>(new Storage(std::move(child), mode, false));
    return S_OK;
  });
}

HRESULT Storage::CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                              DWORD reserved2, IStream** ppstm) {
  if (!ppstm) return STG_E_INVALIDPOINTER;
  if (reserved1 != 0 || reserved2 != 0) return STG_E_INVALIDPARAMETER;
  return CreateChild(pwcsName, grfMode, cfb::EntryType::kStream, reinterpret_cast<void**>(ppstm));
}

HRESULT Storage::OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode,
                            DWORD reserved2, IStream** ppstm) {
  if (!ppstm) return STG_E_INVALIDPOINTER;
  *ppstm = nullptr;
  if (reserved1 != nullptr || reserved2 != 0) return STG_E_INVALIDPARAMETER;
  return OpenChild(pwcsName, grfMode, cfb::EntryType::kStream, reinterpret_cast<void**>(ppstm));
}

HRESULT Storage::CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                               DWORD reserved2, IStorage** ppstg) {
  if (!ppstg) return STG_E_INVALIDPOINTER;
  if (reserved1 != 0 || reserved2 != 0) return STG_E_INVALIDPARAMETER;
  return CreateChild(pwcsName, grfMode, cfb::EntryType::kStorage, reinterpret_cast<void**>(ppstg));
}

HRESULT Storage::OpenStorage(const OLECHAR* pwcsName, IStorage*, DWORD grfMode, SNB, DWORD reserved,
                             IStorage** ppstg) {
  if (!ppstg) return STG_E_INVALIDPOINTER;
  *ppstg = nullptr;
  if (reserved != 0) return STG_E_INVALIDPARAMETER;
  return OpenChild(pwcsName, grfMode, cfb::EntryType::kStorage, reinterpret_cast<void**>(ppstg));
}

bool Storage::IsSelfOrAncestorOf(IStorage* other) const {
  auto* dest = dynamic_cast<Storage*>(other);
  if (!dest || dest->element_.shared != element_.shared) return false;
  cfb::CompoundFile* file = element_.Live();
  for (uint32_t id = dest->element_.id; file && id != cfb::kNoStream; id = file->Parent(id))
    if (id == element_.id) return true;
  return false;
}

HRESULT Storage::CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                        IStorage* pstgDest) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!pstgDest) return STG_E_INVALIDPOINTER;
    if (ciidExclude > 0 && !rgiidExclude) return STG_E_INVALIDPOINTER;
    if (IsSelfOrAncestorOf(pstgDest)) return STG_E_ACCESSDENIED;
    CopyExclusions exclusions;
    exclusions.names = snbExclude;
    for (DWORD i = 0; i < ciidExclude; ++i) {
      exclusions.streams |= rgiidExclude[i] == IID_IStream;
      exclusions.storages |= rgiidExclude[i] == IID_IStorage;
    }
    CLSID clsid;
    std::memcpy(&clsid, file->Entry(element_.id).attributes().clsid.data(), sizeof clsid);
    if (const HRESULT hr = pstgDest->SetClass(clsid); FAILED(hr)) return hr;
    return CopyChildren(*file, element_.id, *pstgDest, exclusions);
  });
}

HRESULT Storage::MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest,
                               const OLECHAR* pwcsNewName, DWORD grfFlags) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!pstgDest || !pwcsNewName) return STG_E_INVALIDPOINTER;
    if (grfFlags != STGMOVE_MOVE && grfFlags != STGMOVE_COPY) return STG_E_INVALIDFLAG;
    if (!pwcsName || !cfb::IsPossibleName(pwcsName)) return STG_E_INVALIDNAME;
    uint32_t id;
    if (const HRESULT hr = FindOneChild(*file, pwcsName, id); FAILED(hr)) return hr;
    if (grfFlags == STGMOVE_MOVE && !writable()) return STG_E_ACCESSDENIED;
    if (file->Entry(id).is_storage()) {
      auto* dest = dynamic_cast<Storage*>(pstgDest);
      if (dest && dest->element_.shared == element_.shared) {
        for (uint32_t a = dest->element_.id; a != cfb::kNoStream; a = file->Parent(a))
          if (a == id) return STG_E_ACCESSDENIED;
      }
    }
    const uint64_t stamp = file->Stamp(id);
    if (const HRESULT hr = CopyElement(*file, id, *pstgDest, pwcsNewName); FAILED(hr)) return hr;
    if (grfFlags == STGMOVE_MOVE && file->IsLive(id, stamp)) file->DestroyElement(id);
    return S_OK;
  });
}

HRESULT Storage::Commit(DWORD) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    file->Commit();
    return S_OK;
  });
}

HRESULT Storage::QueryRoom(QOR_FILE_ROOM& room, std::string& path) const {
  if (!root_) return STG_E_INVALIDFUNCTION;
  const cfb::CompoundFile* file = element_.Live();
  if (!file) return STG_E_REVERTED;
  const cfb::CompoundFile::Room counted = file->CommittedRoom();
  room = QOR_FILE_ROOM{counted.file_bytes, counted.free_bytes};
  path = file->path();
  return S_OK;
}

HRESULT Storage::Revert() {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    // The engine writes a direct-mode file only at a commit (or the root's
    // release), so a root in either mode can drop its changes, and with them
    // every element opened below it: the file stays as it was.
    if (root_) {
      file->Revert();
      element_.stamp = file->Stamp(cfb::kRootId);
    }
    return S_OK;
  });
}

HRESULT Storage::EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                              IEnumSTATSTG** ppenum) {
  if (!ppenum) return STG_E_INVALIDPOINTER;
  *ppenum = nullptr;
  if (reserved1 != 0 || reserved2 != nullptr || reserved3 != 0) return STG_E_INVALIDPARAMETER;
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    const std::vector<uint32_t> ids = file->Children(element_.id);
    ElementEnum::Snapshot snapshot;
    snapshot.children.reserve(ids.size());
    for (uint32_t id : ids) {
      const uint64_t stamp = file->Stamp(id);
      snapshot.stamp_high = stamp & ~uint64_t{0xFFFFFFFF};
      snapshot.children.emplace_back(id, static_cast<uint32_t>(stamp));
    }
    *ppenum = new ElementEnum(element_, std::move(snapshot));
    return S_OK;
  });
}

HRESULT Storage::DestroyElement(const OLECHAR* pwcsName) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!pwcsName || !cfb::IsPossibleName(pwcsName)) return STG_E_INVALIDNAME;
    if (!writable()) return STG_E_ACCESSDENIED;
    uint32_t id;
    if (const HRESULT hr = FindOneChild(*file, pwcsName, id); FAILED(hr)) return hr;
    file->DestroyElement(id);
    return S_OK;
  });
}

HRESULT Storage::RenameElement(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!pwcsOldName || !cfb::IsPossibleName(pwcsOldName)) return STG_E_INVALIDNAME;
    if (!pwcsNewName || !cfb::IsValidNewName(pwcsNewName)) return STG_E_INVALIDNAME;
    if (!writable()) return STG_E_ACCESSDENIED;
    uint32_t id;
    if (const HRESULT hr = FindOneChild(*file, pwcsOldName, id); FAILED(hr)) return hr;
    if (element_.shared->IsOpen(id, file->Stamp(id))) return STG_E_ACCESSDENIED;
    file->RenameElement(id, pwcsNewName);
    return S_OK;
  });
}

HRESULT Storage::SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime, const FILETIME*,
                                 const FILETIME* pmtime) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!writable()) return STG_E_ACCESSDENIED;
    uint32_t id = element_.id;
    if (pwcsName) {
      if (!cfb::IsPossibleName(pwcsName)) return STG_E_INVALIDNAME;
      if (const HRESULT hr = FindOneChild(*file, pwcsName, id); FAILED(hr)) return hr;
    }
    const uint64_t ctime = pctime ? FileTimeToUInt64(*pctime) : 0;
    const uint64_t mtime = pmtime ? FileTimeToUInt64(*pmtime) : 0;
    file->SetTimes(id, pctime ? &ctime : nullptr, pmtime ? &mtime : nullptr);
    return S_OK;
  });
}

HRESULT Storage::SetClass(REFCLSID clsid) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!writable()) return STG_E_ACCESSDENIED;
    std::array<uint8_t, 16> raw;
    std::memcpy(raw.data(), &clsid, raw.size());
    file->SetClass(element_.id, raw);
    return S_OK;
  });
}

HRESULT Storage::SetStateBits(DWORD grfStateBits, DWORD grfMask) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!writable()) return STG_E_ACCESSDENIED;
    file->SetStateBits(element_.id, grfStateBits, grfMask);
    return S_OK;
  });
}

HRESULT Storage::Stat(STATSTG* pstatstg, DWORD grfStatFlag) {
  return Guarded([&] {
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    if (grfStatFlag != STATFLAG_DEFAULT && grfStatFlag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (root_)
      FillRootStat(*file, element_.shared->name(), mode_, grfStatFlag, *pstatstg);
    else
      FillElementStat(*file, element_.id, mode_, grfStatFlag, *pstatstg);
    return S_OK;
  });
}

}  // namespace platform::ole
