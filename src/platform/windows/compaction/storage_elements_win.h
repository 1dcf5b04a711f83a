// The elements of a storage as plain values, for the compaction copy, its
// check and its size estimate (Windows).
#pragma once

#include <objbase.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::compaction {

struct Element {
  std::wstring name;
  DWORD type = 0;
  uint64_t size = 0;
  CLSID clsid{};
  DWORD stateBits = 0;
  FILETIME ctime{};
  FILETIME mtime{};
};

// Deeper storages than this are not copied: each level is a frame of a
// recursion, and no real document comes near it.
inline constexpr int kMaxDepth = 1000;

inline constexpr DWORD kReadChild = STGM_READ | STGM_SHARE_EXCLUSIVE;

// The children of a storage, sorted by their exact names.
HRESULT ListElements(IStorage* storage, std::vector<Element>& elements);

// The storage itself: its class id, state bits and times.
HRESULT StatStorage(IStorage* storage, Element& element);

}  // namespace platform::compaction
