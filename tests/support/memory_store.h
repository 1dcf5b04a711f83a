// An in-memory backing store for the archive tree, registered as the archive
// class in tests: archives are trees of folders and byte strings kept in a
// process-wide registry under their archive names. Failures are planted by
// flags on nodes, so the tree's algorithms can be proven without any
// compound file.
//
// An archive is described as text, one node per line:
//   D path [flags]        a folder
//   F path size [flags]   an entry of `size` bytes (byte i is i % 251)
// Flags: failopen (the folder cannot be opened), failhalf (extraction and
// test fail half-way with E_EWRITE), throwextract (ExtractTo raises).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "rtl/stream.h"
#include "wcx/archive_tree.h"

namespace memstore {

struct Node {
  std::string name;
  bool isFolder = false;
  bool deleted = false;
  bool failOpen = false;
  bool failHalf = false;
  bool throwExtract = false;
  std::string data;
  std::vector<std::unique_ptr<Node>> children;  // creation order

  Node* Child(const std::string& childName) const;  // exact name, not deleted
  Node* ChildCaseless(const std::string& childName) const;
  Node* AddChild(const std::string& childName, bool folder);
  void Remove(Node* child);  // marks it deleted

 private:
  std::unordered_map<std::string, Node*> index_;  // lower-cased names of live children
};

// The archives of the process, by name.
std::map<std::string, std::unique_ptr<Node>>& Archives();

// Defines (or replaces) an archive from its description.
void Define(const std::string& arcName, const std::string& description);
// The archive's description in the same format (paths joined by '/'),
// without content flags; empty for a missing archive.
std::string Describe(const std::string& arcName);
// The content of an entry, or nullptr.
const std::string* Content(const std::string& arcName, const std::string& path);
// Opens of folders since the last reset, for counting reloads.
int& OpenCount();
// When set, the next commit fails (and clears it), as a full disk would.
bool& FailNextCommit();
// Bytes per progress report.
inline constexpr int32_t kBlockSize = 1024;

class MemDir : public wcx::TqorWCXDir {
 public:
  MemDir(wcx::TqorWCXDir* parent, Node* node);
  ~MemDir() override;

  static const wcx::TqorWCXDirClass& Class();

  int32_t DeleteItem() override;
  void Open() override;
  void Close() override;
  int32_t CreateFolder(const std::string& name) override;
  int32_t AddFile(const std::string& srcPath, const std::string& name,
                  const ListedPlace& place) override;
  int32_t CommitChanges() override;
  bool CreatedArchive() const override { return created_; }
  void DiscardArchive() override;

  Node* StoreNode() const { return node_; }

 private:
  void Load();
  Node* node_;  // null for a root until it opens
  bool created_ = false;
};

class MemFile : public wcx::TqorWCXFile {
 public:
  MemFile(wcx::TqorWCXDir* parent, Node* node);

  void FillHeader(wcx::EntryHeader& header) override;
  int32_t TestItem() override;
  int32_t ExtractTo(const std::string& target) override;
  int32_t DeleteItem() override;

 private:
  int32_t Copy(rtl::TStream* target);
  Node* node_;
};

}  // namespace memstore
