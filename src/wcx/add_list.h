// PackFiles' AddList, read in place, and what each of its names stands for
// on disk: decided once, before anything is added, from one look at each
// path, which also gives the bytes the call adds. Beside the host's list it
// keeps one byte per name, so that adding a million files does not cost a
// copy of every name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wcx/source_kind.h"

namespace wcx {

class AddList {
 public:
  struct Entry {
    std::string_view name;
    SourceKind kind;
    // Equal as a file name to an earlier name of the list, which alone is
    // added: on a system that tells case apart, "a.txt" and "A.TXT" are two
    // files, and storing both under one element name would lose the first.
    bool repeated;
  };

  // list: zero-terminated names up to an empty one (null: none); it must
  // outlive this object. basePath ends with the path delimiter.
  AddList(const char* list, const std::string& basePath);

  size_t size() const { return kinds_.size(); }
  bool empty() const { return kinds_.empty(); }
  // The bytes of the listed files that exist.
  uint64_t Bytes() const { return bytes_; }

  class Iterator {
   public:
    Entry operator*() const;
    Iterator& operator++();
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    friend class AddList;
    Iterator(const AddList& list, const char* at, size_t index)
        : list_(&list), at_(at), index_(index) {}
    const AddList* list_;
    const char* at_;
    size_t index_;
  };
  Iterator begin() const { return Iterator(*this, list_, 0); }
  Iterator end() const { return Iterator(*this, nullptr, kinds_.size()); }

 private:
  enum class Listed : uint8_t { kFile, kFolder, kRepeated };
  void MarkRepeated(const std::vector<std::string_view>& names);

  const char* list_;
  std::vector<Listed> kinds_;
  uint64_t bytes_ = 0;
};

}  // namespace wcx
