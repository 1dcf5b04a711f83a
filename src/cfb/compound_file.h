// A compound file opened or created on disk: the engine's native API.
//
// Elements are addressed by directory id; an id may be reused after its
// element is destroyed, so holders keep the element's stamp and check it.
//
// Every change goes to sectors that the last committed state does not use;
// Commit writes the metadata that changed to fresh sectors, syncs, then
// writes the header, the one write that switches the file to the new state.
// A process that dies at any moment leaves the last committed state, or the
// new one, behind.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cfb/allocation_table.h"
#include "cfb/dir_entry.h"
#include "cfb/directory.h"
#include "cfb/file_handle.h"
#include "cfb/format.h"
#include "cfb/header.h"
#include "cfb/write_back_file.h"

namespace cfb {

class CompoundFile {
 public:
  enum class Access { kRead, kReadWrite };

  // Throws kNotCompoundFile for an existing file that is empty or has no
  // signature (left untouched), kInvalidHeader, kCorrupt, and the errors of
  // FileHandle::Open.
  static std::unique_ptr<CompoundFile> Open(const std::string& path, Access access, ShareLock lock,
                                            const KeepWaiting& keepWaiting = {});
  // A new, empty compound file. replace: an existing file is cut and reused
  // (else kAlreadyExists). Always exclusive. When it fails, a file that it
  // made is gone again.
  static std::unique_ptr<CompoundFile> Create(const std::string& path, bool replace,
                                              Version version = Version::k3);

  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;
  ~CompoundFile();

  Version version() const { return header_.version; }
  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }
  uint64_t file_size() const { return file_size_; }

  // Elements.
  // Read in place: a name it gives lasts until the next change.
  EntryView Entry(uint32_t id) const { return dir_.entry(id); }
  bool IsLive(uint32_t id, uint64_t stamp) const {
    return dir_.IsLive(id) && dir_.stamp(id) == stamp;
  }
  // Stamps of live elements taken between two loads (or reverts) share
  // their high 32 bits.
  uint64_t Stamp(uint32_t id) const { return dir_.stamp(id); }
  uint32_t Parent(uint32_t id) const { return dir_.parent(id); }
  // The element of exactly that name, else one whose name differs only in
  // case; kNoStream when there is none, kAmbiguous when several elements
  // bear exactly that name.
  uint32_t Find(uint32_t storage, std::u16string_view name) const {
    return dir_.Find(storage, name);
  }
  std::vector<uint32_t> Children(uint32_t storage) const { return dir_.Children(storage); }
  // True for a stream whose sectors are damaged: it can only be destroyed.
  bool IsDamaged(uint32_t id) const;
  // Drops what is kept of a stream's sector chain to speed up its reads and
  // writes, for a stream no one holds open any more: the tables hold the
  // chain all the same. Adding many small streams then keeps nothing per
  // stream beyond its directory entry.
  void ForgetChain(uint32_t id) {
    if (id != kRootId) chains_.erase(id);
  }

  // Throws kInvalidName, kAlreadyExists.
  uint32_t CreateElement(uint32_t storage, std::u16string_view name, EntryType type);
  // The element and, for a storage, everything below it.
  void DestroyElement(uint32_t id);
  void RenameElement(uint32_t id, std::u16string_view new_name);
  void SetTimes(uint32_t id, const uint64_t* ctime, const uint64_t* mtime);
  void SetClass(uint32_t id, const std::array<uint8_t, 16>& clsid);
  void SetStateBits(uint32_t id, uint32_t bits, uint32_t mask);

  // Streams. Positions and sizes are 64-bit; reads past the end give fewer
  // bytes, writes past the end grow the stream (the gap reads as zeros).
  uint64_t Read(uint32_t id, uint64_t pos, void* buffer, uint64_t count);
  void Write(uint32_t id, uint64_t pos, const void* buffer, uint64_t count);
  void Resize(uint32_t id, uint64_t size);

  // Makes every change durable; a no-op without changes. When it fails, the
  // changes are dropped: the file and this object are back at the last
  // committed state (as after Revert), and the error is thrown. Should the
  // file fail even that, the file keeps one of the two states and this
  // object refuses every further change.
  void Commit();
  // Drops every change since the last commit, and what it wrote to the
  // file. Stamps of all elements change.
  void Revert();

  // Compaction (compact.cpp). The bytes of the file that no structure uses.
  uint64_t FreeBytes() const;
  // The file's length and its free bytes as the last commit, or the
  // opening, left them: what a decision to compact needs, without reading
  // the file again.
  struct Room {
    uint64_t file_bytes = 0;
    uint64_t free_bytes = 0;
  };
  Room CommittedRoom() const { return committed_room_; }
  // A new file at path (which must not exist) with the committed content of
  // source, written afresh: every chain ascending, the directory first.
  // Refuses a source with damaged streams (kCorrupt): the copy would lose them.
  static std::unique_ptr<CompoundFile> CreateCopy(CompoundFile& source, const std::string& path,
                                                  Version version);
  // The same into an empty file the caller opened (path names it in
  // messages), handed back committed and synced. Until its header is
  // written, last, the file starts with a mark IsUnfinishedCopy knows.
  static FileHandle WriteCopy(CompoundFile& source, FileHandle file, const std::string& path,
                              Version version);
  static bool IsUnfinishedCopy(const FileHandle& file);
  // Moves the content down into free sectors and cuts the end, committing
  // after each pass; true when the file got shorter.
  bool CompactInPlace();

 private:
  CompoundFile(FileHandle file, std::string path, bool writable, Version version);

  // Loading (loader.cpp).
  void Load();
  // Frees sectors the FAT marks as FAT or DIFAT pages that the header and
  // DIFAT do not list, so the next commit drops them.
  void ReleaseUnlistedTablePages();
  void InitEmpty();

  // Streams (stream_io.cpp).
  uint32_t sector_size() const { return header_.sector_size(); }
  uint64_t Offset(uint32_t sector) const { return (uint64_t{sector} + 1) * sector_size(); }
  bool InMiniStream(uint32_t id) const;
  std::vector<uint32_t>& ChainOf(uint32_t id);
  void ReadRegular(const std::vector<uint32_t>& chain, uint64_t pos, uint8_t* out, uint64_t count);
  void WriteRegular(uint32_t id, uint64_t pos, const uint8_t* in, uint64_t count);
  void ZeroRegular(uint32_t id, uint64_t from, uint64_t to);
  void Relocate(uint32_t id, std::vector<uint32_t>& chain, size_t index, bool keep_content,
                uint32_t hint);
  void ResizeRegularChain(uint32_t id, uint64_t sectors);
  void ReadMini(const std::vector<uint32_t>& chain, uint64_t pos, uint8_t* out, uint64_t count);
  void WriteMini(uint32_t id, uint64_t pos, const uint8_t* in, uint64_t count);
  void ResizeMiniChain(uint32_t id, uint64_t mini_sectors);
  void EnsureMiniStreamCapacity(uint64_t mini_sectors);
  void ResizeTo(uint32_t id, uint64_t size, uint64_t zero_until);
  void ReleaseChain(uint32_t id);
  void WriteFile(uint64_t offset, const void* data, uint64_t count);

  // Compaction (compact.cpp).
  void FillAsCopyOf(CompoundFile& source);
  void CopyContentOf(CompoundFile& source);

  // Commit (commit.cpp).
  void TrimMiniStream();
  void PlaceChainPages(std::vector<uint32_t>& pages, uint32_t needed,
                       const std::vector<bool>& dirty, std::vector<bool>& to_write);
  void PlaceFatAndDifat();
  // Where page p of a chain goes: between its neighbours where a sector is
  // free there; else, kAfterPrevious, after the page before it (the end of
  // the file if need be), or, kAnywhere, the lowest free sector (kNoHint).
  enum class Placement { kAfterPrevious, kAnywhere };
  uint32_t SectorForPage(const std::vector<uint32_t>& pages, size_t p, Placement placement) const;
  void CommitOnce();
  bool MoveMetadataDown();
  void CutTrailingFreeSectors();
  // The table no longer covers sectors past the last one in use.
  void ShrinkFat();
  void RestoreCommittedState();
  void DropUncommitted();

  void CheckWritable() const;
  void Touch();
  void SetModifiedNow(uint32_t id);

  WriteBackFile file_;
  std::string path_;
  bool writable_;
  Header header_;
  AllocationTable fat_;
  AllocationTable minifat_;
  Directory dir_;
  std::vector<uint32_t> fat_pages_;
  std::vector<uint32_t> difat_pages_;
  std::vector<uint32_t> dir_pages_;
  std::vector<uint32_t> minifat_pages_;
  std::unordered_set<uint32_t> damaged_;
  // Sector chains of the streams touched so far (mini sectors for streams in
  // the mini stream; for the root, the mini stream's own sectors).
  std::unordered_map<uint32_t, std::vector<uint32_t>> chains_;
  uint64_t file_size_ = 0;
  // The file's length and header bytes in its last committed state, and
  // whether the commit under way has begun to write the header (from then on
  // until it is synced, the file on disk may hold the new state).
  uint64_t committed_size_ = 0;
  std::array<uint8_t, kHeaderSize> committed_header_{};
  bool header_write_started_ = false;
  Room committed_room_;
  bool changed_ = false;
  bool difat_dirty_ = false;  // DIFAT sectors to write at the next commit
};

// Now as a FILETIME value.
uint64_t CurrentFileTime();

}  // namespace cfb
