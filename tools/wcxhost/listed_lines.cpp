#include "listed_lines.h"

#include <algorithm>

namespace wcxhost {
namespace {

enum Flags : uint8_t { kFolder = 1, kNewTime = 2 };

void PutNumber(std::string& out, uint64_t value) {
  for (; value >= 0x80; value >>= 7) out += static_cast<char>((value & 0x7F) | 0x80);
  out += static_cast<char>(value);
}

uint64_t TakeNumber(const std::string& in, size_t& at) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<uint8_t>(in[at++]);
    value |= uint64_t{byte & 0x7Fu} << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

void ListedLines::Add(const Entry& entry) {
  // The most an entry takes beside its path: a flag and four numbers.
  constexpr size_t kMostFields = 1 + 4 * 10;
  constexpr size_t kBlockBytes = 1 << 20;
  if (blocks_.empty() || blocks_.back().size() + kMostFields + entry.path.size() > kBlockBytes) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(kBlockBytes, kMostFields + entry.path.size()));
  }
  std::string& bytes = blocks_.back();
  const bool new_time = entry.time != last_time_;
  bytes += static_cast<char>((entry.folder ? kFolder : 0) | (new_time ? kNewTime : 0));
  PutNumber(bytes, entry.size);
  if (new_time) PutNumber(bytes, static_cast<uint32_t>(entry.time));
  if (fields_ == Fields::kLong) {
    PutNumber(bytes, entry.packed_size);
    PutNumber(bytes, static_cast<uint32_t>(entry.attr));
  }
  const size_t common = std::min(entry.path.size(), last_path_.size());
  const size_t shared = static_cast<size_t>(
      std::mismatch(entry.path.begin(), entry.path.begin() + common, last_path_.begin()).first -
      entry.path.begin());
  PutNumber(bytes, shared);
  PutNumber(bytes, entry.path.size() - shared);
  bytes.append(entry.path, shared);
  last_path_ = entry.path;
  last_time_ = entry.time;
}

void ListedLines::ForEach(const std::function<void(const Entry&)>& visit) const {
  Entry entry;
  for (const std::string& bytes : blocks_) {
    for (size_t at = 0; at < bytes.size();) {
      const auto flags = static_cast<uint8_t>(bytes[at++]);
      entry.folder = flags & kFolder;
      entry.size = TakeNumber(bytes, at);
      if (flags & kNewTime) entry.time = static_cast<int32_t>(TakeNumber(bytes, at));
      if (fields_ == Fields::kLong) {
        entry.packed_size = TakeNumber(bytes, at);
        entry.attr = static_cast<int32_t>(TakeNumber(bytes, at));
      }
      const size_t shared = TakeNumber(bytes, at);
      const size_t rest = TakeNumber(bytes, at);
      entry.path.resize(shared);
      entry.path.append(bytes, at, rest);
      at += rest;
      visit(entry);
    }
  }
}

}  // namespace wcxhost
