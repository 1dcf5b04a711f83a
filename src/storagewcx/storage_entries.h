// Compound files as archive trees: a TqorStorageDir stands for a storage (or,
// as the archive root, for the compound file itself) and a TqorStorageFile
// for a stream. Element names are shown escaped (and in an installer
// database decoded, name_style.h); the element's own UTF-16 name is what
// every storage call uses.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/os.h"
#include "storage/struct_storage.h"
#include "storagewcx/element_record.h"
#include "storagewcx/name_style.h"
#include "wcx/archive_tree.h"

namespace storagewcx {

class TqorStorageDir;

class TqorStorageFile : public wcx::TqorWCXFile {
 public:
  // Takes over stat and the name in it.
  TqorStorageFile(TqorStorageDir* parent, storage::StatCopy stat);
  ~TqorStorageFile() override;

  void FillHeader(wcx::EntryHeader& header) override;
  int32_t TestItem() override;
  int32_t ExtractTo(const std::string& destPath) override;
  int32_t DeleteItem() override;

  // Copies the stream's bytes to target with progress reports; 0,
  // E_EABORTED, E_EREAD (stream not there) or E_EWRITE (transfer failed).
  int32_t CopyToStream(rtl::TStream* target);
  storage::TStructStorageFolder* ParentFolder() const;
  // The stream's own name, which storage calls take.
  std::u16string ElementName() const;

 private:
  TqorStorageDir* Storage() const;
  // The whole record, where the stream's size alone does not describe it.
  const ElementRecord* FullRecord() const;

  // The stream's size, where its parent keeps no record of it: a million
  // streams take a million nodes, so the rare name, time or size of 4 GiB
  // and more stay apart (TqorStorageDir::FStreamRecords).
  uint32_t FSize = 0;
};

class TqorStorageDir : public wcx::TqorWCXDir {
 public:
  // An archive root (no parent, no element record).
  TqorStorageDir();
  // A sub-storage; takes over stat and the name in it.
  TqorStorageDir(TqorStorageDir* parent, storage::StatCopy stat);
  ~TqorStorageDir() override;

  static const wcx::TqorWCXDirClass& Class();

  void FillHeader(wcx::EntryHeader& header) override;
  // A storage that cannot be opened cannot be tested or extracted: its
  // content is unknown (E_BAD_DATA).
  int32_t TestItem() override;
  int32_t ExtractTo(const std::string& target) override;
  int32_t DeleteItem() override;
  void Open() override;
  // Closing the root of a writable archive commits it (see CommitChanges).
  void Close() override;
  int32_t CreateFolder(const std::string& name) override;
  int32_t AddFile(const std::string& srcPath, const std::string& name,
                  const ListedPlace& place) override;
  std::string HostNameToRawName(const std::string& hostName) const override;
  int32_t CommitChanges() override;
  void RevertChanges() override;
  // Compacts an archive that edits left more than half free.
  void FinishChanges() override;
  void PlanAdding(uint64_t bytes) override { FPlannedBytes = bytes; }
  bool CreatedArchive() const override { return FCreated; }
  void DiscardArchive() override;

  // The handler that Open gives the enumeration: one child per element.
  void AddChildEntry(storage::StatCopy stat);
  storage::TStructStorageFolder* ParentFolder() const;
  storage::TStructStorageFolder* Folder() const { return FFolder.get(); }
  // How names of this archive are shown; the root decides when it opens.
  NameStyle Names() const { return FNames; }
  // The time entries below that have none of their own show where the
  // host cannot show "no date": this storage's, else that of the nearest
  // storage above with one, else the root's, else the compound file's own
  // modification time. Zero when none of them has one.
  FILETIME ShownTime() const;

 private:
  // A new child node for the element name of an open storage or stream;
  // false when it cannot be described.
  template <class Element>
  bool AddNodeFor(Element& element);
  // The stream that adding under a host's name replaces, given the node
  // listed under that name (or null) and the name's element name in this
  // archive's style (stored): the listed stream, however it is stored
  // (plainly in an installer database, or a twin listed with a suffix).
  // Where no stream is listed there, or the store takes both names for one,
  // stored itself: the host's spelling wins.
  std::u16string ReplacedElementName(const wcx::TqorWCXFile* listed,
                                     const std::u16string& stored) const;
  // Stores the disk file as the stream target (StoreStream). A node is made
  // only for the new content of a name the folder lists, to take the old
  // node's place: a new name needs none while packing, and a node for each
  // would make memory grow with the number of files added.
  enum class NewNode { kNone, kForListedName };
  int32_t StoreReplacing(const std::u16string& target, const std::string& srcPath,
                         const std::string& srcName, const std::string& progressPath, NewNode node);
  // The disk folder srcPath, held open by the archive root while packing.
  const platform::SourceFolder& SourceFolderAt(const std::string& srcPath);
  TqorStorageDir& Root();
  // Counts a source of this many bytes in before it is stored; raises when
  // an archive with 512-byte sectors could not take it: EPlanNeeded unless
  // the bytes were planned.
  void MakeRoomFor(uint64_t bytes);

  // The archive root: opens or creates the compound file.
  void OpenRoot();
  // The root's commit; its outcome and the compaction it calls for are kept.
  void CommitRoot();
  // Whether this sub-storage opens as itself.
  bool IsReadable();
  bool Writable() const { return GetOpenMode() > wcx::PK_OM_EXTRACT; }

  friend class TqorStorageFile;

  ElementRecord FElement;  // empty for the archive root
  // The records of the streams below that keep a name, a time or a size
  // past 32 bits; most streams have none of them.
  std::unordered_map<const TqorStorageFile*, ElementRecord> FStreamRecords;
  NameStyle FNames = NameStyle::kPlain;
  FILETIME FRootTime{};  // the archive root's (ShownTime)
  std::unique_ptr<storage::TStructStorageFolder> FFolder;
  bool FListedWhole = true;  // whether opening enumerated every child
  // The archive root's: bytes packing will add when it planned them,
  // whether opening made the file, and the outcome of the commit made when
  // it last closed.
  std::optional<uint64_t> FPlannedBytes;
  // While packing into a file with 512-byte sectors: its bytes when it
  // opened and the bytes of the sources stored since, which must stay
  // within the sectors' reach.
  struct SmallSectorRoom {
    uint64_t fileBytes;
    uint64_t added = 0;
  };
  std::optional<SmallSectorRoom> FSmallSectors;
  bool FCreated = false;
  int32_t FCommitResult = 0;
  // Whether the file as the last commit left it wants compacting.
  storage::TStgCompactionNeed FCompaction = storage::TStgCompactionNeed::kUnknown;
  // The archive root's: the folder the files packed last came from.
  std::unique_ptr<platform::SourceFolder> FSourceFolder;
};

// Registers TqorStorageDir as the archive class; at library load.
void RegisterStorageArchiveClass();

}  // namespace storagewcx
