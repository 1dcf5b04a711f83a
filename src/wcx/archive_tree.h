// The storage-independent archive tree: every node is a TqorWCXFile (an
// entry); a TqorWCXDir is a node with children (a folder), and the node at
// the top, without a parent, is the archive root whose address is the host's
// archive handle. A backing store derives from both classes and overrides the
// operations that touch the store; the listing, processing and adding
// algorithms here work only through those virtual operations.
//
// A folder owns its children: it creates them when it opens and destroys
// them when it closes. A node links itself into its parent's list when it is
// constructed and unlinks itself when it is destroyed. Names are looked up
// through an index, so no operation scans the sibling list. Every name and
// path is UTF-8; the exports convert to and from the host's strings.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "wcx/entry_header.h"
#include "wcx/host_callbacks.h"
#include "wcx/name_index.h"
#include "wcx/source_kind.h"
#include "wcx/wcx_api.h"

namespace wcx {

class TqorWCXDir;

// Number of nodes constructed and not yet destroyed; reported at unload
// when it is not 0. Archives of several threads change it at once.
extern std::atomic<int32_t> LiveItemCount;

// The deepest entry a listing shows: a header's path holds 1023 bytes, at
// least two per level. Deeper folders are listed but not opened, so that a
// file nested thousands of levels deep costs no more per entry than this.
inline constexpr int32_t kMaxEntryDepth = 512;

class TqorWCXFile {
 public:
  // Links the node into parent (null for an archive root) under a display
  // name made from rawName: valid on disk and unique among its siblings.
  TqorWCXFile(TqorWCXDir* parent, const std::string& rawName);
  TqorWCXFile(const TqorWCXFile&) = delete;
  TqorWCXFile& operator=(const TqorWCXFile&) = delete;
  virtual ~TqorWCXFile();

  // Writes the node's archive path into FileName; overrides add what the
  // store knows (sizes, time) and leave everything else as found.
  virtual void FillHeader(EntryHeader& header);
  // FillHeader, plus the folder mark for folders.
  virtual void GetHeaderData(EntryHeader& header);
  // The host's callbacks, reached through the archive root.
  virtual int32_t DoChangeVol(const std::string& name, int32_t mode);
  virtual int32_t DoProcessData(const std::string& name, int32_t size);
  // Read the entry through; 0, E_EABORTED or another code. May raise.
  virtual int32_t TestItem();
  // Write the entry's contents to the disk file target. May raise.
  virtual int32_t ExtractTo(const std::string& target);
  // Remove the entry's element from the store; the node stays linked.
  virtual int32_t DeleteItem();
  // The display names from the root's child down to this node, joined by
  // the path delimiter.
  std::string GetPath() const;

  // The node's position in its parent's list; 0 without a parent.
  int32_t IndexInParent() const;
  // 0 for an archive root, 1 for its children, and so on.
  int32_t Depth() const;

  TqorWCXDir* Parent() const { return FParent; }
  // The name the node was made for; an archive root's is its name.
  const std::string& RawName() const;
  const std::string& Name() const { return FName; }
  // The folder this node is, or null for an entry.
  virtual TqorWCXDir* AsDir() { return nullptr; }

 protected:
  TqorWCXDir* FParent = nullptr;
  std::string FName;

 private:
  friend class TqorWCXDir;
  // A listing keeps a node per entry, so a node is kept small: the raw name
  // is kept by the parent, and only where it differs from the display name;
  // the depth is counted when asked for. A store's node may add 4 bytes of
  // its own in the padding behind the position and still take no more room.
  uint32_t FIndexInParent = 0;
};

class TqorWCXDirClass;

class TqorWCXDir : public TqorWCXFile {
 public:
  TqorWCXDir(TqorWCXDir* parent, const std::string& rawName);
  ~TqorWCXDir() override;

  // The class reference of this class: its class-level operations and its
  // virtual constructor.
  static const TqorWCXDirClass& Class();

  void GetHeaderData(EntryHeader& header) override;
  int32_t DoChangeVol(const std::string& name, int32_t mode) override;
  int32_t DoProcessData(const std::string& name, int32_t size) override;
  int32_t TestItem() override;
  int32_t ExtractTo(const std::string& target) override;
  TqorWCXDir* AsDir() override { return this; }

  // The listing cursor: fills the header of the next entry, depth first.
  virtual int32_t NextHeader(EntryHeader& header);
  // Skip, test, extract or delete the entry under the cursor.
  virtual int32_t ProcessCurrent(int32_t operation, const char* destPath, const char* destName);
  // Open loads the children (overrides attach the store after the base's
  // accounting and raise when it cannot be read, as the base does for a
  // folder too deep to show); Close frees them.
  virtual void Open();
  virtual void Close();
  // Only on an open folder: create a sub-folder, store a disk file. A
  // store need not give a new name a node (packing lists nothing it adds);
  // where the folder lists the name, a node it makes for the new content
  // takes the old one's place, else the old one goes.
  virtual int32_t CreateFolder(const std::string& name);
  // Where a host's name stands in the listing, worked out once per file.
  struct ListedPlace {
    std::string name;  // as the listing shows it (ListedNameOf)
    int32_t index;     // of the node listed under it, -1 for none
  };
  virtual int32_t AddFile(const std::string& srcPath, const std::string& name,
                          const ListedPlace& place);
  // The archive root's open mode.
  virtual int32_t GetOpenMode() const;
  // The raw name a store gives the element it makes from a host's name
  // (the host sends back the names it listed, and the names of its own
  // files); the host's name itself by default.
  virtual std::string HostNameToRawName(const std::string& hostName) const;

  // On an archive root, after packing or deleting. CommitChanges makes the
  // changes durable: 0, or E_EWRITE when they could not be written, and the
  // archive then keeps its earlier content. CreatedArchive tells whether
  // opening the root made a new archive; DiscardArchive closes the root and
  // removes the archive it made.
  virtual int32_t CommitChanges();
  // Drops the changes instead, where the store can: for a call that failed
  // without adding anything, the archive stays exactly as it was.
  virtual void RevertChanges();
  // After a commit that succeeded: closes the root, and the store may tidy
  // the archive (give back room that edits left free). A failure there
  // leaves the committed archive as it is.
  virtual void FinishChanges();
  // Before packing opens the archive: the bytes it is about to add, so that
  // the store can make room for them, or refuse, before anything changes.
  // Measuring them costs a look at every source, so packing tells them only
  // on its second attempt, after the store raised EPlanNeeded.
  virtual void PlanAdding(uint64_t bytes);
  virtual bool CreatedArchive() const;
  virtual void DiscardArchive();

  int32_t ItemCount() const { return static_cast<int32_t>(FItems.size()); }
  // The child at a position; EListError outside the list.
  TqorWCXFile* Items(int64_t index) const;
  // Position of the child whose display name equals name as a file name, or -1.
  int32_t IndexOfName(const std::string& name) const;
  // Position of the child that a host's name stands for, or -1.
  int32_t IndexOfHostName(const std::string& hostName) const;
  // The path a host's archive path stands for, as the listing shows it up
  // to the suffixes that keep siblings apart: each component as
  // IndexOfHostName finds it, so that a name reaches its entry whichever
  // escapes the host sent it with.
  std::string ListedPathOf(const std::string& hostPath) const;
  void FreeItems();
  // The entry the listing reported last.
  TqorWCXFile* CurrentItem() const;
  void SetChangeVolCallback(tChangeVolProc proc) { FCallbacks.SetChangeVol(proc); }
  void SetChangeVolCallback(tChangeVolProcW proc) { FCallbacks.SetChangeVol(proc); }
  void SetProcessDataCallback(tProcessDataProc proc) { FCallbacks.SetProcessData(proc); }
  void SetProcessDataCallback(tProcessDataProcW proc) { FCallbacks.SetProcessData(proc); }
  void SetCallbacks(const HostCallbacks& callbacks) { FCallbacks = callbacks; }
  // Stores the disk file or folder basePath + relName below this open
  // folder. Moving the sources is the caller's, once the archive holds them
  // durably; the other flags change nothing.
  int32_t AddPath(const std::string& basePath, std::string relName, bool moveFiles, bool savePaths,
                  bool encrypt);
  // The same for a path whose kind the caller knows.
  int32_t AddPath(const std::string& basePath, std::string relName, SourceKind kind);

  const std::string& ArcName() const { return FArcName; }
  bool ForPacking() const { return FForPacking; }
  bool IsOpen() const { return FOpenRef != 0; }

 protected:
  // Closes the folders the cursor holds open, from the deepest up to this
  // one, and this folder if it is still open. Destructors of classes that
  // override Close call it first, while their Close still works.
  void ShutDown() noexcept;
  // Runs list, which makes the children an open folder lists, and returns
  // its result. The names come out as if each child were linked on its own;
  // a folder of a million children is spared a hash-table probe per child.
  // When list raises, the children made so far go with it.
  bool ListChildren(const std::function<bool()>& list);

  HostCallbacks FCallbacks;  // FChangeVolProc and FProcessDataProc, in both forms
  int32_t FOpenRef = 0;
  std::vector<TqorWCXFile*> FItems;  // owned
  int32_t FOpenMode = 0;
  bool FForPacking = false;
  std::string FArcName;
  TqorWCXFile* FCurrent = nullptr;

 private:
  friend class TqorWCXFile;
  friend class TqorWCXDirClass;
  void Link(TqorWCXFile* child, uint32_t keyHash);
  void Unlink(TqorWCXFile* child);
  // Fills the name index from the children when it is not filled yet.
  void EnsureIndexed() const;
  // After a listing that linked its children under their sanitized names
  // alone: where two of them share a key, every child takes again the name
  // it would have taken when linked one by one.
  void SettleNames();
  // The display name, before any suffix, of what a host's name stands for.
  std::string ListedNameOf(const std::string& hostName) const;
  // A display name for rawName that no child has yet, and its key's hash.
  std::string UniqueDisplayName(const std::string& rawName, uint32_t& hash) const;
  // Gives child the display name name, keeping rawName where they differ.
  void SetDisplayName(TqorWCXFile& child, std::string name, const std::string& rawName);
  // Position of the child whose display name has the key of name, whose
  // key hashes to hash; or -1.
  int32_t IndexOfKey(std::string_view name, uint32_t hash) const;
  // Destroys old and gives replacement its place and, where free, its name.
  void ReplaceItem(TqorWCXFile* old, TqorWCXFile* replacement);
  // Closes the sub-folder that adding keeps open between entries.
  void ReleaseHeldFolder();
  int32_t AddSubPath(const std::string& basePath, const std::string& relName, size_t delim,
                     SourceKind kind);
  // The sub-folder head names, created when missing (created tells); null
  // with result set when it cannot be had.
  TqorWCXDir* SubFolderFor(const std::string& head, bool& created, int32_t& result);
  // Removes a folder made by a failed add when nothing went into it.
  void RemoveIfEmpty(TqorWCXDir* folder);
  int32_t AddPlainFile(const std::string& basePath, const std::string& relName);

  // The raw names of the children whose display names differ from them.
  std::unordered_map<const TqorWCXFile*, std::string> FRawNames;
  // Filled on the first look-up by name, which a listing never makes; from
  // then on it follows every child that comes and goes.
  mutable NameIndex FNameIndex;
  mutable bool FIndexed = false;
  // Set while a store lists the children (ListChildren): they are linked
  // without a look-up each, and settled at the end all at once.
  bool FListing = false;
  // Per name key, the counter from which UniqueDisplayName looks for a free
  // display name: many siblings of one name then cost one look-up each.
  mutable std::unordered_map<std::string, uint32_t> FNextSuffix;
  // The open sub-folder that the last AddPath went into. Consecutive
  // entries of one folder (sub/f1, sub/f2, ...) then reuse it instead of
  // reloading it for every entry.
  TqorWCXDir* FHeldOpen = nullptr;
};

// A class reference to TqorWCXDir or a descendant: the class-level
// operations that the root controller calls without an instance, and the
// virtual constructor of archive roots. A backing store derives one and
// registers it as the archive class.
class TqorWCXDirClass {
 public:
  virtual ~TqorWCXDirClass() = default;
  // The class's PK_CAPS_* bits; abstract in the base class.
  virtual int32_t GetCapabilities() const;
  // Whether fileName is of the store's format; abstract in the base class.
  virtual bool CanHandleFile(const std::string& fileName) const;
  // A new archive root of this class that only records its arguments.
  std::unique_ptr<TqorWCXDir> CreateArchive(const std::string& arcName, int32_t openMode,
                                            bool forPacking) const;

 protected:
  // A new, parentless folder of this class.
  virtual std::unique_ptr<TqorWCXDir> NewRoot() const;
};

}  // namespace wcx
