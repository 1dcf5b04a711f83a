// What a parser may read of a compound file: the children of a storage and
// the bytes of streams, small ones whole and large ones by their first
// bytes. The store implements it; the parsers never see the store.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace content {

enum class ElementKind { kStream, kStorage };

struct ChildElement {
  std::u16string name;
  ElementKind kind = ElementKind::kStream;
  uint64_t size = 0;                // streams
  std::array<uint8_t, 16> clsid{};  // storages, as stored (GUID in little-endian fields)
};

class StorageReader {
 public:
  virtual ~StorageReader() = default;
  // The children, at most `limit` of them (a store stops enumerating there).
  virtual std::vector<ChildElement> Children(size_t limit) = 0;
  // The whole stream when it exists and holds at most `limit` bytes; nullopt
  // otherwise.
  virtual std::optional<std::vector<uint8_t>> ReadStream(std::u16string_view name,
                                                         size_t limit) = 0;
  // The first min(maxBytes, stream size) bytes of the stream; nullopt when
  // it does not exist or cannot be read.
  virtual std::optional<std::vector<uint8_t>> ReadStreamPrefix(std::u16string_view name,
                                                               size_t maxBytes) = 0;
  // The sub-storage, or null when absent.
  virtual std::unique_ptr<StorageReader> OpenStorage(std::u16string_view name) = 0;
};

}  // namespace content
