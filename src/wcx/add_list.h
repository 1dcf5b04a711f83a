// PackFiles' AddList, read in place, and what each of its names stands for:
// a folder when the host marks it so with a trailing delimiter, else a file
// until adding finds a folder there. Nothing on disk is looked at to read
// it. Beside the host's list it keeps one byte per name, so that adding a
// million files does not cost a copy of every name: a wide list too is
// read in place, each name turned into UTF-8 as it is read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wcx/file_lists.h"
#include "wcx/source_kind.h"

namespace wcx {

class AddList {
 public:
  struct Entry {
    // Valid until the iterator that gave it moves on.
    std::string_view name;
    SourceKind kind;
    // Equal as a file name to an earlier name of the list, which alone is
    // added: on a system that tells case apart, "a.txt" and "A.TXT" are two
    // files, and storing both under one element name would lose the first.
    bool repeated;
  };

  // list: zero-terminated names up to an empty one (null: none); it must
  // outlive this object.
  explicit AddList(ListedNames list);

  size_t size() const { return kinds_.size(); }
  bool empty() const { return kinds_.empty(); }
  // The bytes of the listed files that exist under basePath, from one look
  // at each path: only for a store that must know them up front.
  uint64_t SourceBytes(const std::string& basePath) const;

  class Iterator {
   public:
    Entry operator*() const;
    Iterator& operator++();
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    friend class AddList;
    Iterator(const AddList& list, size_t at, size_t index) : list_(&list), at_(at), index_(index) {}
    const AddList* list_;
    size_t at_;  // in the list's units
    size_t index_;
    mutable std::string converted_;
  };
  Iterator begin() const { return Iterator(*this, 0, 0); }
  Iterator end() const { return Iterator(*this, 0, kinds_.size()); }

 private:
  enum class Listed : uint8_t { kFile, kFolder, kRepeated };
  // The name that starts at a place of the list, in UTF-8; converted holds
  // it when the list is wide.
  std::string_view NameAt(size_t at, std::string& converted) const;
  // The place of the name after the one at a place.
  size_t NextAfter(size_t at) const;
  void MarkRepeated(const std::vector<size_t>& starts);

  ListedNames list_;
  std::vector<Listed> kinds_;
};

}  // namespace wcx
