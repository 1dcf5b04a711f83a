// What reading a compound file's structures needs of the file: its length
// and reads at an offset. The engine reads through its own file handle; the
// Windows builds through the system's, before its storage sees the file.
#pragma once

#include <cstdint>

namespace cfb {

class ByteSource {
 public:
  virtual uint64_t Size() const = 0;
  // Reads up to count bytes; fewer only at the end of the file.
  virtual uint64_t ReadAt(uint64_t offset, void* buffer, uint64_t count) const = 0;

 protected:
  ~ByteSource() = default;
};

}  // namespace cfb
