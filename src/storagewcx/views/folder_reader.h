// What the content parsers may read of a compound file, over the storage
// wrappers: children, small streams whole, the first bytes of large ones.
// Also the walk from the root to an element that a view's path names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "content/storage_reader.h"
#include "storage/struct_storage.h"

namespace storagewcx {

class FolderReader : public content::StorageReader {
 public:
  // Reads folder, which must outlive the reader.
  explicit FolderReader(storage::TStructStorageFolder& folder) : folder_(folder) {}

  std::vector<content::ChildElement> Children(size_t limit) override;
  std::optional<std::vector<uint8_t>> ReadStream(std::u16string_view name, size_t limit) override;
  std::optional<std::vector<uint8_t>> ReadStreamPrefix(std::u16string_view name,
                                                       size_t maxBytes) override;
  std::unique_ptr<content::StorageReader> OpenStorage(std::u16string_view name) override;

 private:
  // The reader of a sub-storage owns the folder it reads.
  explicit FolderReader(std::unique_ptr<storage::TStructStorageFolder> owned)
      : owned_(std::move(owned)), folder_(*owned_) {}
  std::optional<std::vector<uint8_t>> Read(std::u16string_view name, size_t limit,
                                           bool wholeOnly);

  std::unique_ptr<storage::TStructStorageFolder> owned_;
  storage::TStructStorageFolder& folder_;
};

// The storage, or the stream, that a path of element names leads to from
// root; null when an element on the way is missing or is not exactly of
// that name (a store that ignores case may offer a sibling).
std::unique_ptr<storage::TStructStorageFolder> OpenStoragePath(
    storage::TStructStorageFolder& root, const std::vector<std::u16string>& path);
std::unique_ptr<storage::TStructStorageStream> OpenStreamPath(
    storage::TStructStorageFolder& root, const std::vector<std::u16string>& path);

}  // namespace storagewcx
