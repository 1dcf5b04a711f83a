#include "platform/windows/compaction/directory_digest_win.h"

namespace platform::compaction {
namespace {

uint64_t Fnv1a(uint64_t hash, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
  return hash;
}

// Spreads a hash over all its bits, so that sums of them stay distinct.
uint64_t Mix(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The name as the reader keeps it, up to its terminator: Wine's rename
// leaves the old length, and the old name's tail behind it.
uint64_t EntryHash(const cfb::EntryView& entry) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const char16_t unit : entry.name()) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
    hash = Fnv1a(hash, bytes, sizeof bytes);
  }
  const cfb::EntryType type = entry.type();
  hash = Fnv1a(hash, &type, 1);
  const cfb::Attributes& a = entry.attributes();
  if (entry.is_storage()) {
    hash = Fnv1a(hash, a.clsid.data(), a.clsid.size());
    hash = Fnv1a(hash, &a.state_bits, sizeof a.state_bits);
  }
  if (type == cfb::EntryType::kStorage) {
    hash = Fnv1a(hash, &a.ctime, sizeof a.ctime);
    hash = Fnv1a(hash, &a.mtime, sizeof a.mtime);
  }
  if (entry.is_stream()) {
    const uint64_t size = entry.size();  // the low 32 bits in files of 512-byte sectors
    hash = Fnv1a(hash, &size, sizeof size);
  }
  return Mix(hash);
}

}  // namespace

DirectoryDigest DigestDirectory(const cfb::Directory& directory) {
  DirectoryDigest digest;
  for (uint32_t id = 0; id < directory.size(); ++id) {
    const cfb::EntryView entry = directory.entry(id);
    if (entry.type() == cfb::EntryType::kUnused) continue;
    const uint64_t hash = EntryHash(entry);
    ++digest.entries;
    digest.sum += hash;
    digest.mixed += Mix(hash ^ 0x9E3779B97F4A7C15ull);
  }
  return digest;
}

}  // namespace platform::compaction
