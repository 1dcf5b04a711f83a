// What the content parsers may read of a compound file, over the storage
// wrappers: children, small streams whole, the first bytes of large ones.
// Also the walk from the root to an element that a view's path names.
//
// Every storage on the way to an open element stays open as long as the
// element: the system's storage reverts a storage whose parent is released.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "content/storage_reader.h"
#include "storage/struct_storage.h"

namespace storagewcx {

// An element that a path leads to, with the storages above it.
struct OpenedPath {
  std::vector<std::unique_ptr<storage::TStructStorageFolder>> storages;  // from the root's child down
  std::unique_ptr<storage::TStructStorageStream> stream;                 // when the path names one
  storage::TStructStorageFolder* Storage() const {
    return storages.empty() ? nullptr : storages.back().get();
  }
};

// The storage, or the stream, that a path of element names leads to from
// root; nullopt when an element on the way is missing or is not exactly of
// that name (a store that ignores case may offer a sibling).
std::optional<OpenedPath> OpenStoragePath(storage::TStructStorageFolder& root,
                                          const std::vector<std::u16string>& path);
std::optional<OpenedPath> OpenStreamPath(storage::TStructStorageFolder& root,
                                         const std::vector<std::u16string>& path);

class FolderReader : public content::StorageReader {
 public:
  // Reads folder, which must outlive the reader and the readers it opens.
  explicit FolderReader(storage::TStructStorageFolder& folder);

  std::vector<content::ChildElement> Children(size_t limit) override;
  std::optional<std::vector<uint8_t>> ReadStream(std::u16string_view name, size_t limit) override;
  std::optional<std::vector<uint8_t>> ReadStreamPrefix(std::u16string_view name,
                                                       size_t maxBytes) override;
  std::unique_ptr<content::StorageReader> OpenStorage(std::u16string_view name) override;

 private:
  struct Node;
  explicit FolderReader(std::shared_ptr<const Node> node) : node_(std::move(node)) {}
  std::optional<std::vector<uint8_t>> Read(std::u16string_view name, size_t limit,
                                           bool wholeOnly);

  std::shared_ptr<const Node> node_;
};

}  // namespace storagewcx
