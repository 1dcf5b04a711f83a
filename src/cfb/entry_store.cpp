#include "cfb/entry_store.h"

#include <algorithm>

namespace cfb {

DirEntry EntryView::ToEntry() const {
  DirEntry e;
  e.name = std::u16string(name());
  e.type = type();
  e.color = color();
  e.left = left();
  e.right = right();
  e.child = child();
  const Attributes& a = attributes();
  e.clsid = a.clsid;
  e.state_bits = a.state_bits;
  e.ctime = a.ctime;
  e.mtime = a.mtime;
  e.start = start();
  e.size = size();
  return e;
}

void EntryStore::Clear() {
  records_.clear();
  names_.Clear();
  attributes_.clear();
}

void EntryStore::AppendParsed(std::span<const uint8_t, kDirEntrySize> bytes, Version version) {
  const uint8_t* p = bytes.data();
  const uint32_t id = size();
  Record& r = records_.emplace_back();
  char16_t name[kMaxNameLength];
  uint32_t length = 0;
  for (; length < kMaxNameLength; ++length) {
    name[length] = LoadU16(p + 2 * length);
    if (name[length] == 0) break;
  }
  PutName(r, std::u16string_view(name, length));
  r.type = static_cast<EntryType>(p[0x42]);
  r.color = p[0x43] == 0 ? Color::kRed : Color::kBlack;
  r.left = LoadU32(p + 0x44);
  r.right = LoadU32(p + 0x48);
  r.child = LoadU32(p + 0x4C);
  r.start = LoadU32(p + 0x74);
  r.size = version == Version::k3 ? LoadU32(p + 0x78) : LoadU64(p + 0x78);
  Attributes a;
  std::copy(p + kDirEntryClassOffset, p + kDirEntryClassOffset + 16, a.clsid.begin());
  a.state_bits = LoadU32(p + 0x60);
  a.ctime = LoadU64(p + 0x64);
  a.mtime = LoadU64(p + 0x6C);
  SetAttributes(id, a);
}

void EntryStore::AppendUnused(uint32_t count) {
  Record unused;
  unused.color = Color::kRed;  // all zero but the ids
  unused.start = 0;
  records_.resize(records_.size() + count, unused);
}

void EntryStore::Serialize(uint32_t id, std::span<uint8_t, kDirEntrySize> bytes) const {
  const EntryView e = (*this)[id];
  uint8_t* p = bytes.data();
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  const std::u16string_view name = e.name();
  for (size_t i = 0; i < name.size(); ++i) StoreU16(p + 2 * i, name[i]);
  StoreU16(p + 0x40, name.empty() ? 0 : static_cast<uint16_t>((name.size() + 1) * 2));
  p[0x42] = static_cast<uint8_t>(e.type());
  p[0x43] = static_cast<uint8_t>(e.color());
  StoreU32(p + 0x44, e.left());
  StoreU32(p + 0x48, e.right());
  StoreU32(p + 0x4C, e.child());
  const Attributes& a = e.attributes();
  std::copy(a.clsid.begin(), a.clsid.end(), p + kDirEntryClassOffset);
  StoreU32(p + 0x60, a.state_bits);
  StoreU64(p + 0x64, a.ctime);
  StoreU64(p + 0x6C, a.mtime);
  StoreU32(p + 0x74, e.start());
  StoreU64(p + 0x78, e.size());
}

void EntryStore::Assign(uint32_t id, const DirEntry& e) {
  Record& r = records_[id];
  SetName(id, std::u16string_view(e.name).substr(0, kMaxNameLength));
  r.type = e.type;
  r.color = e.color;
  r.left = e.left;
  r.right = e.right;
  r.child = e.child;
  r.start = e.start;
  r.size = e.size;
  SetAttributes(id, Attributes{e.clsid, e.state_bits, e.ctime, e.mtime});
}

void EntryStore::MakeUnused(uint32_t id) {
  DropName(records_[id]);
  SetAttributes(id, Attributes{});
  records_[id] = Record{};
  records_[id].color = Color::kRed;
  records_[id].start = 0;
}

void EntryStore::SetName(uint32_t id, std::u16string_view name) {
  DropName(records_[id]);
  PutName(records_[id], name);
  if (names_.MostlyWaste()) RebuildNames();
}

void EntryStore::SetTree(uint32_t id, uint32_t left, uint32_t right, Color color) {
  Record& r = records_[id];
  r.left = left;
  r.right = right;
  r.color = color;
}

void EntryStore::SetAttributes(uint32_t id, const Attributes& attributes) {
  Record& r = records_[id];
  const bool any = attributes != Attributes{};
  if (any)
    attributes_[id] = attributes;
  else if (r.has_attributes)
    attributes_.erase(id);
  r.has_attributes = any;
}

void EntryStore::PutName(Record& r, std::u16string_view name) {
  r.name_at = names_.Add(name);
  r.name_length = static_cast<uint8_t>(name.size());
}

void EntryStore::DropName(Record& r) {
  names_.Release(r.name_length);
  r.name_at = 0;
  r.name_length = 0;
}

void EntryStore::RebuildNames() {
  NamePool fresh;
  for (Record& r : records_) r.name_at = fresh.Add(names_.Get(r.name_at, r.name_length));
  names_ = std::move(fresh);
}

}  // namespace cfb
