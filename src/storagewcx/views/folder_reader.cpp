#include "storagewcx/views/folder_reader.h"

#include <algorithm>
#include <cstring>

namespace storagewcx {
namespace {

using storage::StatCopy;
using storage::TStructStorageFolder;
using storage::TStructStorageStream;

const OLECHAR* Ole(const std::u16string& name) {
  return reinterpret_cast<const OLECHAR*>(name.c_str());
}

template <class Element>
bool NamedExactly(Element& element, const std::u16string& name) {
  StatCopy stat = storage::NewStat();
  return element.QueryStat(*stat, true) && stat->pwcsName &&
         std::u16string_view(reinterpret_cast<const char16_t*>(stat->pwcsName)) == name;
}

std::unique_ptr<TStructStorageFolder> OpenChildFolder(TStructStorageFolder& parent,
                                                      const std::u16string& name) {
  std::unique_ptr<TStructStorageFolder> folder;
  if (!parent.OpenSubFolder(Ole(name), folder) || !NamedExactly(*folder, name)) return nullptr;
  return folder;
}

std::unique_ptr<TStructStorageStream> OpenChildStream(TStructStorageFolder& parent,
                                                      const std::u16string& name) {
  std::unique_ptr<TStructStorageStream> stream;
  if (!parent.OpenStreamElement(Ole(name), stream) || !NamedExactly(*stream, name)) return nullptr;
  return stream;
}

// Ends an enumeration early.
struct EnoughChildren {};

}  // namespace

// A storage a reader reads, and the one above it, which stays open with it.
struct FolderReader::Node {
  std::shared_ptr<const Node> parent;
  std::unique_ptr<TStructStorageFolder> owned;
  TStructStorageFolder* folder = nullptr;
};

FolderReader::FolderReader(TStructStorageFolder& folder)
    : node_(std::make_shared<const Node>(Node{nullptr, nullptr, &folder})) {}

std::vector<content::ChildElement> FolderReader::Children(size_t limit) {
  std::vector<content::ChildElement> children;
  if (limit == 0) return children;
  try {
    node_->folder->ForEachElement([&](StatCopy stat) {
      content::ChildElement child;
      if (stat->pwcsName) child.name = reinterpret_cast<const char16_t*>(stat->pwcsName);
      child.kind = stat->type == STGTY_STORAGE ? content::ElementKind::kStorage
                                               : content::ElementKind::kStream;
      child.size = stat->cbSize.QuadPart;
      static_assert(sizeof stat->clsid == 16);
      std::memcpy(child.clsid.data(), &stat->clsid, sizeof stat->clsid);
      children.push_back(std::move(child));
      if (children.size() >= limit) throw EnoughChildren();
    });
  } catch (const EnoughChildren&) {
  }
  return children;
}

std::optional<std::vector<uint8_t>> FolderReader::ReadStream(std::u16string_view name,
                                                             size_t limit) {
  return Read(name, limit, true);
}

std::optional<std::vector<uint8_t>> FolderReader::ReadStreamPrefix(std::u16string_view name,
                                                                   size_t maxBytes) {
  return Read(name, maxBytes, false);
}

std::optional<std::vector<uint8_t>> FolderReader::Read(std::u16string_view name, size_t limit,
                                                       bool wholeOnly) {
  std::unique_ptr<TStructStorageStream> stream = OpenChildStream(*node_->folder, std::u16string(name));
  if (!stream) return std::nullopt;
  const int64_t size = stream->GetSize();
  if (size < 0 || (wholeOnly && static_cast<uint64_t>(size) > limit)) return std::nullopt;
  // The size a directory claims is no promise: the bytes are read in
  // blocks, so a stream that ends early costs only what it holds.
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(size), limit));
  constexpr size_t kBlock = 64 << 10;
  std::vector<uint8_t> bytes;
  while (bytes.size() < wanted) {
    const size_t n = std::min(kBlock, wanted - bytes.size());
    bytes.resize(bytes.size() + n);
    const int32_t got =
        stream->Read(bytes.data() + bytes.size() - n, static_cast<int32_t>(n));
    if (got != static_cast<int32_t>(n)) return std::nullopt;
  }
  return bytes;
}

std::unique_ptr<content::StorageReader> FolderReader::OpenStorage(std::u16string_view name) {
  std::unique_ptr<TStructStorageFolder> folder =
      OpenChildFolder(*node_->folder, std::u16string(name));
  if (!folder) return nullptr;
  TStructStorageFolder* opened = folder.get();
  auto node = std::make_shared<const Node>(Node{node_, std::move(folder), opened});
  return std::unique_ptr<content::StorageReader>(new FolderReader(std::move(node)));
}

std::optional<OpenedPath> OpenStoragePath(TStructStorageFolder& root,
                                          const std::vector<std::u16string>& path) {
  OpenedPath opened;
  for (const std::u16string& name : path) {
    TStructStorageFolder* at = opened.storages.empty() ? &root : opened.Storage();
    std::unique_ptr<TStructStorageFolder> folder = OpenChildFolder(*at, name);
    if (!folder) return std::nullopt;
    opened.storages.push_back(std::move(folder));
  }
  if (opened.storages.empty()) return std::nullopt;
  return opened;
}

std::optional<OpenedPath> OpenStreamPath(TStructStorageFolder& root,
                                         const std::vector<std::u16string>& path) {
  if (path.empty()) return std::nullopt;
  std::optional<OpenedPath> opened;
  if (path.size() == 1)
    opened.emplace();
  else if (!(opened = OpenStoragePath(root, {path.begin(), path.end() - 1})))
    return std::nullopt;
  TStructStorageFolder* parent = opened->storages.empty() ? &root : opened->Storage();
  if (!(opened->stream = OpenChildStream(*parent, path.back()))) return std::nullopt;
  return opened;
}

}  // namespace storagewcx
