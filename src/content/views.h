// What is inside a compound file, under real names: a mail message as text
// and its attachments, embedded documents and packaged files, and the
// document properties as text. Each view says where its bytes come from;
// the store shows them as read-only files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "content/storage_reader.h"
#include "platform/os.h"

namespace content {

struct View {
  enum class Kind {
    kText,         // `text` holds the view's bytes (UTF-8 text)
    kStreamSlice,  // bytes [offset, offset + size) of the stream at `path`
    kStorageCopy,  // the storage at `path` as a compound file of its own
    kMessageCopy,  // the attached message storage at `path` as a standalone .msg
  };
  Kind kind = Kind::kText;
  // UTF-8 file name as found in the data, unsanitized (the store makes it
  // safe and unique); never empty.
  std::string name;
  std::string text;                  // kText
  std::vector<std::u16string> path;  // element names from the root
  uint64_t offset = 0;
  // kStreamSlice: exact; kText: text.size(); copies: the sum of the streams
  // inside, an estimate.
  uint64_t size = 0;
};

struct ViewLimits {
  size_t maxViews = 4096;
  size_t maxSmallStream = 16 << 20;  // the most bytes read of any one stream
  size_t maxChildren = 100000;       // per storage
  int maxDepth = 32;                 // storages below the root
};

// Every view the file offers, found from the root; bounded by the limits. A
// view that cannot be made is left out. 8-bit text that names no code page
// of its own is decoded through `ansi`.
std::vector<View> FindViews(StorageReader& root, const ViewLimits& limits, platform::CodePage ansi);

// For a kMessageCopy: the attached message's property stream rewritten with
// the header a top-level message has (the 24-byte header of an embedded
// message becomes the 32-byte one); nullopt when it is not a property stream.
std::optional<std::vector<uint8_t>> TopLevelMessageProperties(std::span<const uint8_t> embedded);

}  // namespace content
