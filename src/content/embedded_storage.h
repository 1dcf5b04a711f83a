// Storages that hold an object of their own (Word's ObjectPool/_1234,
// Excel's MBD0001234, an attachment's OLE object): a packaged file, or a
// document other programs open as a compound file of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "content/guid.h"
#include "content/storage_reader.h"
#include "content/view_collector.h"

namespace content {

inline constexpr std::u16string_view kOle10NativeStream = u"\x01Ole10Native";

enum class StorageRole {
  kPackage,   // an \x01Ole10Native stream: the file or data it carries
  kDocument,  // a copy of the whole storage, with `extension`
  kMessage,   // a mail message: a copy as a top-level message
  kFolder,    // nothing of its own; the search looks inside
};

struct StorageKind {
  StorageRole role;
  std::string_view extension;  // kDocument: without the dot
};

StorageKind ClassifyStorage(const std::vector<ChildElement>& children, const Guid& clsid);

// The view of the storage at `path`, as `kind` says (kFolder gives none).
// `name` is the view's name; an extension it lacks is added, and for a
// package whose data names no file it gets ".bin".
void AddStorageView(StorageReader& storage, const std::vector<ChildElement>& children,
                    const std::vector<std::u16string>& path, const StorageKind& kind,
                    const std::string& name, ViewCollector& collector);

// The name, with ".extension" added unless it ends so already.
std::string WithExtension(std::string name, std::string_view extension);

}  // namespace content
