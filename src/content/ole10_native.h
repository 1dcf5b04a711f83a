// The \x01Ole10Native stream of an embedded OLE 1 object: a 4-byte size and
// the object's native data. For the system's packager (a file embedded as
// an icon) that data is a header naming the file, then the file's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/os.h"

namespace content {

// Enough for any packager header: three paths and a label.
inline constexpr size_t kOle10NativeHeaderBytes = 64 << 10;

struct NativeObject {
  std::string fileName;  // the packaged file's base name; empty when there is none
  uint64_t offset = 0;   // of the payload in the stream
  uint64_t size = 0;
};

// `prefix` holds the stream's first bytes, `streamSize` its whole size.
// The packaged file when the data is a packager header, else the native
// data; nullopt when the sizes do not fit the stream.
std::optional<NativeObject> ParseOle10Native(std::span<const uint8_t> prefix, uint64_t streamSize,
                                             platform::CodePage ansi);

}  // namespace content
