#include "cfb/compound_file.h"

#include <time.h>

#include "cfb/error.h"
#include "cfb/names.h"

namespace cfb {

uint64_t CurrentFileTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  constexpr uint64_t kEpochDelta = 116444736000000000ull;  // 1601 to 1970 in 100 ns
  return kEpochDelta + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

CompoundFile::CompoundFile(FileHandle file, std::string path, bool writable, Version version)
    : file_(std::move(file)),
      path_(std::move(path)),
      writable_(writable),
      fat_(SectorSize(version) / 4, MaxSectors(version)),
      minifat_(SectorSize(version) / 4, kMaxRegSect),
      dir_(SectorSize(version) / kDirEntrySize) {
  header_.version = version;
}

CompoundFile::~CompoundFile() = default;

std::unique_ptr<CompoundFile> CompoundFile::Open(const std::string& path, Access access,
                                                 ShareLock lock, const KeepWaiting& keepWaiting) {
  const bool writable = access == Access::kReadWrite;
  FileHandle file = FileHandle::Open(
      path, writable ? FileHandle::Mode::kReadWrite : FileHandle::Mode::kRead, lock, keepWaiting);
  std::unique_ptr<CompoundFile> cf(new CompoundFile(std::move(file), path, writable, Version::k3));
  cf->Load();
  return cf;
}

std::unique_ptr<CompoundFile> CompoundFile::Create(const std::string& path, bool replace,
                                                   Version version) {
  // Whether this call made the file: only then does a failure remove it
  // again, and only while it holds the lock, for a file that another
  // program made or took over in the meantime is that program's.
  bool made = true;
  FileHandle file;
  try {
    file = FileHandle::Open(path, FileHandle::Mode::kCreateNew, ShareLock::kExclusive);
  } catch (const Error& e) {
    if (e.code() != Errc::kAlreadyExists || !replace) throw;
    made = false;
    file = FileHandle::Open(path, FileHandle::Mode::kCreate, ShareLock::kExclusive);
  }
  std::unique_ptr<CompoundFile> cf(new CompoundFile(std::move(file), path, true, version));
  try {
    cf->file_.Resize(0);
    cf->InitEmpty();
    cf->Commit();
    FileHandle::SyncDirectoryOf(path);
  } catch (...) {
    if (made) FileHandle::Remove(path);
    throw;
  }
  return cf;
}

void CompoundFile::InitEmpty() {
  const Version version = header_.version;
  header_ = Header{};
  header_.version = version;
  fat_ = AllocationTable(sector_size() / 4, MaxSectors(version));
  if (version == Version::k4) fat_.ReserveWhenReached(kRangeLockSectorV4);
  minifat_ = AllocationTable(sector_size() / 4, kMaxRegSect);
  dir_.Reset(sector_size() / kDirEntrySize);
  dir_.InitEmpty();
  fat_pages_.clear();
  difat_pages_.clear();
  dir_pages_.clear();
  minifat_pages_.clear();
  damaged_.clear();
  chains_.clear();
  file_size_ = 0;
  changed_ = true;
}

bool CompoundFile::IsDamaged(uint32_t id) const { return damaged_.count(id) != 0; }

void CompoundFile::CheckWritable() const {
  if (!writable_) Fail(Errc::kAccessDenied, "the compound file is open for reading only");
}

void CompoundFile::Touch() { changed_ = true; }

void CompoundFile::SetModifiedNow(uint32_t id) {
  Attributes a = dir_.entry(id).attributes();
  a.mtime = CurrentFileTime();
  dir_.SetAttributes(id, a);
}

uint32_t CompoundFile::CreateElement(uint32_t storage, std::u16string_view name, EntryType type) {
  CheckWritable();
  if (!IsValidNewName(name)) Fail(Errc::kInvalidName, "invalid element name");
  const Directory::NewPlace place = dir_.PlaceOfNew(storage, name);
  if (place.taken) Fail(Errc::kAlreadyExists, "element exists");
  Touch();
  DirEntry e;
  e.name = std::u16string(name);
  e.type = type;
  if (type == EntryType::kStorage) {
    e.start = 0;
    e.ctime = e.mtime = CurrentFileTime();
  }
  const uint32_t id = dir_.Insert(storage, e, place);
  if (type == EntryType::kStream) chains_[id];
  if (storage != kRootId) SetModifiedNow(storage);
  return id;
}

void CompoundFile::DestroyElement(uint32_t id) {
  CheckWritable();
  if (id == kRootId) Fail(Errc::kInvalidArgument, "the root cannot be destroyed");
  Touch();
  const uint32_t parent = dir_.parent(id);
  // Children before their storage, so that each storage is empty when it goes.
  std::vector<uint32_t> order;
  std::vector<uint32_t> pending{id};
  while (!pending.empty()) {
    const uint32_t next = pending.back();
    pending.pop_back();
    order.push_back(next);
    if (dir_.entry(next).is_storage())
      for (uint32_t child : dir_.Children(next)) pending.push_back(child);
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const uint32_t victim = *it;
    if (dir_.entry(victim).is_stream()) {
      // A damaged chain may run through other chains' sectors: leave it.
      if (!IsDamaged(victim)) ReleaseChain(victim);
      damaged_.erase(victim);
      chains_.erase(victim);
    }
    dir_.Erase(victim);
  }
  if (parent != kRootId) SetModifiedNow(parent);
}

void CompoundFile::RenameElement(uint32_t id, std::u16string_view new_name) {
  CheckWritable();
  if (!IsValidNewName(new_name)) Fail(Errc::kInvalidName, "invalid element name");
  const uint32_t parent = dir_.parent(id);
  const uint32_t other = dir_.Find(parent, new_name);
  if (other != kNoStream && other != id) Fail(Errc::kAlreadyExists, "element exists");
  Touch();
  dir_.Rename(id, new_name);
  if (parent != kRootId) SetModifiedNow(parent);
}

void CompoundFile::SetTimes(uint32_t id, const uint64_t* ctime, const uint64_t* mtime) {
  CheckWritable();
  Touch();
  Attributes a = dir_.entry(id).attributes();
  if (ctime) a.ctime = *ctime;
  if (mtime) a.mtime = *mtime;
  dir_.SetAttributes(id, a);
}

void CompoundFile::SetClass(uint32_t id, const std::array<uint8_t, 16>& clsid) {
  CheckWritable();
  Touch();
  Attributes a = dir_.entry(id).attributes();
  a.clsid = clsid;
  dir_.SetAttributes(id, a);
}

void CompoundFile::SetStateBits(uint32_t id, uint32_t bits, uint32_t mask) {
  CheckWritable();
  Touch();
  Attributes a = dir_.entry(id).attributes();
  a.state_bits = (a.state_bits & ~mask) | (bits & mask);
  dir_.SetAttributes(id, a);
}

void CompoundFile::Revert() {
  if (changed_) DropUncommitted();
}

void CompoundFile::DropUncommitted() {
  // What was written since the commit lies in sectors the committed state
  // does not use, and past its end; once a header write began, the file on
  // disk may hold the new state and nothing is cut. Bytes still held for
  // writing belong to the dropped changes too.
  file_.Discard();
  if (writable_ && !header_write_started_ && file_.Size() > committed_size_)
    file_.Resize(committed_size_);
  header_write_started_ = false;
  Load();
}

}  // namespace cfb
