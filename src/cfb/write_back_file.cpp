#include "cfb/write_back_file.h"

#include <algorithm>
#include <cstring>

namespace cfb {

namespace {

// Large enough that a thousand small streams go out in one write, small
// enough to cost nothing beside the directory of that many.
constexpr uint64_t kWindowBytes = 1 << 20;
// The window starts this far below the write that places it, where the
// partly filled sector of the mini stream usually lies.
constexpr uint64_t kWindowAlign = 1 << 16;
// Writes larger than this gain little from being held, and go out at once:
// a disk that refuses them says so to the write that made them.
constexpr uint64_t kLargestHeld = 64 << 10;
// Scattered ranges cost a write each however they are held.
constexpr size_t kMostRanges = 256;

}  // namespace

uint64_t WriteBackFile::Size() const {
  return std::max(file_.Size(), held_.empty() ? 0 : held_.back().second);
}

uint64_t WriteBackFile::ReadAt(uint64_t offset, void* buffer, uint64_t count) const {
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t got = file_.ReadAt(offset, out, count);
  const uint64_t end = offset + count;
  for (const auto& [first, last] : held_) {
    if (last <= offset || first >= end) continue;
    const uint64_t from = std::max(first, offset);
    const uint64_t to = std::min(last, end);
    // Held bytes past the file's end: what lies between reads as zeros, as
    // it will once they are written.
    if (to - offset > got) {
      std::memset(out + got, 0, to - offset - got);
      got = to - offset;
    }
    std::memcpy(out + (from - offset), window_.data() + (from - base_), to - from);
  }
  return got;
}

void WriteBackFile::WriteAt(uint64_t offset, const void* buffer, uint64_t count) {
  if (count > kLargestHeld) {
    Flush();
    file_.WriteAt(offset, buffer, count);
    return;
  }
  if (!Holds(offset, count)) {
    Flush();
    if (window_.empty()) window_.resize(kWindowBytes);
    base_ = offset / kWindowAlign * kWindowAlign;
  }
  Hold(offset, buffer, count);
  if (held_.size() > kMostRanges) Flush();
}

bool WriteBackFile::Holds(uint64_t offset, uint64_t count) const {
  return !window_.empty() && offset >= base_ && offset + count <= base_ + window_.size();
}

void WriteBackFile::Hold(uint64_t offset, const void* buffer, uint64_t count) {
  std::memcpy(window_.data() + (offset - base_), buffer, count);
  uint64_t first = offset;
  uint64_t last = offset + count;
  // The ranges this one touches or overlaps become one.
  auto at = std::lower_bound(held_.begin(), held_.end(), first,
                             [](const auto& range, uint64_t value) { return range.second < value; });
  auto past = at;
  for (; past != held_.end() && past->first <= last; ++past) {
    first = std::min(first, past->first);
    last = std::max(last, past->second);
  }
  if (at == past) {
    held_.insert(at, {first, last});
  } else {
    *at = {first, last};
    held_.erase(at + 1, past);
  }
}

void WriteBackFile::Flush() {
  if (held_.empty()) return;
  // Past the file's end nothing is there to keep: ranges with only that
  // between them go out as one write, the gap as the zeros it reads as.
  const uint64_t end = file_.Size();
  size_t written = 0;
  try {
    while (written < held_.size()) {
      size_t next = written + 1;
      while (next < held_.size() && held_[next - 1].second >= end) ++next;
      const uint64_t first = held_[written].first;
      file_.WriteAt(first, window_.data() + (first - base_), held_[next - 1].second - first);
      written = next;
    }
  } catch (...) {
    Forget(written);
    throw;
  }
  Forget(written);
}

void WriteBackFile::Forget(size_t ranges) {
  // Bytes of the window outside the held ranges stay zero, the gaps that
  // Flush writes.
  if (ranges == 0) return;
  const uint64_t first = held_.front().first;
  std::memset(window_.data() + (first - base_), 0, held_[ranges - 1].second - first);
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(ranges));
}

void WriteBackFile::Resize(uint64_t size) {
  Flush();
  file_.Resize(size);
}

void WriteBackFile::Sync() {
  Flush();
  file_.Sync();
  // A commit ends with a sync: a file kept open between edits holds no
  // window meanwhile.
  std::vector<uint8_t>().swap(window_);
}

void WriteBackFile::Discard() { Forget(held_.size()); }

FileHandle WriteBackFile::Release() {
  Flush();
  return std::move(file_);
}

}  // namespace cfb
