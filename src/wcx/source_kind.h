// What a path that packing adds stands for on disk.
#pragma once

#include <cstdint>

namespace wcx {

enum class SourceKind : uint8_t {
  kFile,    // a file, or a path that names nothing (storing it then fails)
  kFolder,  // a directory, or a name the host lists with a trailing delimiter
};

}  // namespace wcx
