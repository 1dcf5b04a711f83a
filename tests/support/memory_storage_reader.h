// An in-memory tree of storages and streams behind content::StorageReader,
// for the content parsers' tests and fuzzers. A stream may claim another
// size than it holds, as a damaged file's directory may; the reads made are
// counted, so that a test can tell that a large stream was not read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "content/storage_reader.h"

namespace testing_support {

struct MemoryElement {
  std::u16string name;
  content::ElementKind kind = content::ElementKind::kStream;
  std::vector<uint8_t> bytes;
  std::optional<uint64_t> claimedSize;  // what Children() says instead of bytes.size()
  std::array<uint8_t, 16> clsid{};
  std::vector<MemoryElement> children;
};

inline MemoryElement Stream(std::u16string name, std::vector<uint8_t> bytes) {
  MemoryElement element;
  element.name = std::move(name);
  element.bytes = std::move(bytes);
  return element;
}

inline MemoryElement Storage(std::u16string name, std::vector<MemoryElement> children) {
  MemoryElement element;
  element.name = std::move(name);
  element.kind = content::ElementKind::kStorage;
  element.children = std::move(children);
  return element;
}

struct ReadLog {
  size_t largestRead = 0;  // bytes handed out by one call
  size_t storagesOpened = 0;
};

class MemoryStorageReader final : public content::StorageReader {
 public:
  MemoryStorageReader(const MemoryElement& storage, ReadLog& log) : storage_(storage), log_(log) {}

  std::vector<content::ChildElement> Children(size_t limit) override {
    std::vector<content::ChildElement> out;
    for (const auto& child : storage_.children) {
      if (out.size() == limit) break;
      out.push_back(
          {child.name, child.kind, child.claimedSize.value_or(child.bytes.size()), child.clsid});
    }
    return out;
  }

  std::optional<std::vector<uint8_t>> ReadStream(std::u16string_view name, size_t limit) override {
    const auto* stream = Find(name, content::ElementKind::kStream);
    if (!stream || stream->bytes.size() > limit) return std::nullopt;
    return Handed(stream->bytes);
  }

  std::optional<std::vector<uint8_t>> ReadStreamPrefix(std::u16string_view name,
                                                       size_t maxBytes) override {
    const auto* stream = Find(name, content::ElementKind::kStream);
    if (!stream) return std::nullopt;
    const size_t size = std::min(maxBytes, stream->bytes.size());
    return Handed({stream->bytes.begin(), stream->bytes.begin() + static_cast<ptrdiff_t>(size)});
  }

  std::unique_ptr<content::StorageReader> OpenStorage(std::u16string_view name) override {
    const auto* storage = Find(name, content::ElementKind::kStorage);
    if (!storage) return nullptr;
    ++log_.storagesOpened;
    return std::make_unique<MemoryStorageReader>(*storage, log_);
  }

 private:
  const MemoryElement* Find(std::u16string_view name, content::ElementKind kind) const {
    for (const auto& child : storage_.children)
      if (child.kind == kind && child.name == name) return &child;
    return nullptr;
  }

  std::vector<uint8_t> Handed(std::vector<uint8_t> bytes) {
    log_.largestRead = std::max(log_.largestRead, bytes.size());
    return bytes;
  }

  const MemoryElement& storage_;
  ReadLog& log_;
};

// Little-endian bytes, as the formats store them. The appending functions
// stay out of line: inlined into a test, mingw's g++ 12 at -O3 takes the
// vector's first growth for a write past its end (-Wstringop-overflow).
class ByteWriter {
 public:
  ByteWriter& U8(uint8_t v) { return Little(v, 1); }
  ByteWriter& U16(uint16_t v) { return Little(v, 2); }
  ByteWriter& U32(uint32_t v) { return Little(v, 4); }
  ByteWriter& U64(uint64_t v) { return Little(v, 8); }
  [[gnu::noinline]] ByteWriter& Raw(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  [[gnu::noinline]] ByteWriter& Raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  ByteWriter& Utf16(std::u16string_view text) {
    for (char16_t c : text) U16(c);
    return *this;
  }
  ByteWriter& PadTo4() {
    while (bytes_.size() % 4) bytes_.push_back(0);
    return *this;
  }
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t>& bytes() { return bytes_; }
  // Overwrites four bytes at `offset`, for sizes known only at the end.
  void PatchU32(size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
  }

 private:
  [[gnu::noinline]] ByteWriter& Little(uint64_t v, int count) {
    for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

}  // namespace testing_support
