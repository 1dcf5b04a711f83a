// The directory's entries as kept in memory: 32 bytes each, the names in a
// shared pool, and the class, state bits and times (zero in nearly every
// stream) in a side table only where one of them is set.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cfb/dir_entry.h"
#include "cfb/format.h"
#include "cfb/name_pool.h"

namespace cfb {

struct Attributes {
  std::array<uint8_t, 16> clsid{};
  uint32_t state_bits = 0;
  uint64_t ctime = 0;
  uint64_t mtime = 0;
  bool operator==(const Attributes&) const = default;
};

class EntryStore;

// One entry, read in place: valid until the store changes.
class EntryView {
 public:
  std::u16string_view name() const;
  EntryType type() const;
  Color color() const;
  uint32_t left() const;
  uint32_t right() const;
  uint32_t child() const;
  uint32_t start() const;
  uint64_t size() const;
  const Attributes& attributes() const;
  bool is_storage() const { return type() == EntryType::kStorage || type() == EntryType::kRoot; }
  bool is_stream() const { return type() == EntryType::kStream; }
  DirEntry ToEntry() const;

 private:
  friend class EntryStore;
  EntryView(const EntryStore& store, uint32_t id) : store_(&store), id_(id) {}
  const EntryStore* store_;
  uint32_t id_;
};

class EntryStore {
 public:
  uint32_t size() const { return static_cast<uint32_t>(records_.size()); }
  EntryView operator[](uint32_t id) const { return EntryView(*this, id); }
  void Clear();
  void Reserve(size_t entries) { records_.reserve(entries); }

  // Lenient: the name is read up to its first zero unit whatever its length
  // field says, and a v3 size keeps only its low 32 bits.
  void AppendParsed(std::span<const uint8_t, kDirEntrySize> bytes, Version version);
  void AppendUnused(uint32_t count);
  void Serialize(uint32_t id, std::span<uint8_t, kDirEntrySize> bytes) const;

  void Assign(uint32_t id, const DirEntry& entry);
  void MakeUnused(uint32_t id);
  void SetName(uint32_t id, std::u16string_view name);
  void SetTree(uint32_t id, uint32_t left, uint32_t right, Color color);
  void SetChild(uint32_t id, uint32_t child) { records_[id].child = child; }
  void SetStart(uint32_t id, uint32_t start) { records_[id].start = start; }
  void SetSize(uint32_t id, uint64_t size) { records_[id].size = size; }
  void SetAttributes(uint32_t id, const Attributes& attributes);

 private:
  friend class EntryView;
  // Ordered so that nothing pads it.
  struct Record {
    uint64_t size = 0;
    uint32_t name_at = 0;
    uint32_t left = kNoStream;
    uint32_t right = kNoStream;
    uint32_t child = kNoStream;
    uint32_t start = kEndOfChain;
    uint8_t name_length = 0;
    EntryType type = EntryType::kUnused;
    Color color = Color::kBlack;
    bool has_attributes = false;
  };
  static_assert(sizeof(Record) == 32);

  void PutName(Record& record, std::u16string_view name);
  void DropName(Record& record);
  void RebuildNames();

  std::vector<Record> records_;
  NamePool names_;
  std::unordered_map<uint32_t, Attributes> attributes_;
};

inline std::u16string_view EntryView::name() const {
  const EntryStore::Record& r = store_->records_[id_];
  return store_->names_.Get(r.name_at, r.name_length);
}
inline EntryType EntryView::type() const { return store_->records_[id_].type; }
inline Color EntryView::color() const { return store_->records_[id_].color; }
inline uint32_t EntryView::left() const { return store_->records_[id_].left; }
inline uint32_t EntryView::right() const { return store_->records_[id_].right; }
inline uint32_t EntryView::child() const { return store_->records_[id_].child; }
inline uint32_t EntryView::start() const { return store_->records_[id_].start; }
inline uint64_t EntryView::size() const { return store_->records_[id_].size; }
inline const Attributes& EntryView::attributes() const {
  static constexpr Attributes kNone{};
  return store_->records_[id_].has_attributes ? store_->attributes_.at(id_) : kNone;
}

}  // namespace cfb
