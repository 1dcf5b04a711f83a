// Little-endian reads over bytes from a file, each checked against the end:
// a read past it fails and leaves every later read failing too, so a parser
// checks once, after a group of reads, instead of after each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace content {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes, size_t position = 0)
      : bytes_(bytes), position_(position), ok_(position <= bytes.size()) {}

  bool ok() const { return ok_; }
  size_t position() const { return position_; }
  size_t remaining() const { return ok_ ? bytes_.size() - position_ : 0; }

  uint8_t U8() { return static_cast<uint8_t>(Little(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Little(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Little(4)); }
  uint64_t U64() { return Little(8); }

  // The next `count` bytes; empty, and the reader failed, when fewer remain.
  std::span<const uint8_t> Bytes(uint64_t count) {
    if (!Has(count)) return {};
    const auto out = bytes_.subspan(position_, static_cast<size_t>(count));
    position_ += static_cast<size_t>(count);
    return out;
  }
  void Skip(uint64_t count) { Bytes(count); }
  // Skips the zero bytes up to the next multiple of four from the start.
  // Some writers (Excel 97 to 2000 in vectors of strings) do not pad, and
  // their next value starts there: its first byte is no zero.
  void SkipPadding() {
    while (ok_ && position_ % 4 != 0 && position_ < bytes_.size() && bytes_[position_] == 0)
      ++position_;
  }

  // Bytes up to a NUL, which is passed; nullopt, and the reader failed,
  // when no NUL follows.
  std::optional<std::string_view> CString() {
    for (size_t end = position_; ok_ && end < bytes_.size(); ++end) {
      if (bytes_[end] != 0) continue;
      const std::string_view text(reinterpret_cast<const char*>(bytes_.data() + position_),
                                  end - position_);
      position_ = end + 1;
      return text;
    }
    ok_ = false;
    return std::nullopt;
  }

 private:
  bool Has(uint64_t count) {
    if (ok_ && count > bytes_.size() - position_) ok_ = false;
    return ok_;
  }

  uint64_t Little(size_t count) {
    if (!Has(count)) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= uint64_t{bytes_[position_ + i]} << (8 * i);
    position_ += count;
    return value;
  }

  std::span<const uint8_t> bytes_;
  size_t position_;
  bool ok_;
};

}  // namespace content
