// What a node keeps of its element's description: the name every storage
// call takes (the platform's own copy, taken over), and the size and time
// its header shows. A listing keeps one per entry, so nothing more.
#pragma once

#include <cstdint>

#include "storage/task_memory.h"

namespace storagewcx {

struct ElementRecord {
  ElementRecord() = default;
  explicit ElementRecord(storage::StatCopy stat)
      : name(stat.TakeName()), size(stat->cbSize.QuadPart), mtime(stat->mtime) {}
  // Whether it describes an element (the archive root's describes none).
  explicit operator bool() const { return name != nullptr; }
  const char16_t* Name() const { return reinterpret_cast<const char16_t*>(name.get()); }

  storage::TaskString name;
  uint64_t size = 0;
  FILETIME mtime{};
};

}  // namespace storagewcx
