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
// of its own is decoded through `ansi`. In the order found:
// - a mail message: "<subject>.txt" ("message.txt" without one), lines
//   "Subject:", "From:", "To:", "Cc:", "Date:" (ISO 8601, UTC), a blank
//   line and the plain-text body; each attachment under its long file
//   name, else its short one, else its display name, else "attachment N";
//   an attached message as "<its subject>.msg"; an OLE object attached as
//   for the storages below, named after the attachment;
// - below the root (not inside a message, nor inside a storage that
//   gives a copy): an Ole10Native object as the file it packages,
//   under that file's base name, else its native data as
//   "<storage name>.bin" (a file that is one object: "Ole10Native.bin");
//   an embedded document as "<storage name>.<ext>", the extension from
//   its streams (WordDocument doc, Workbook or Book xls, PowerPoint
//   Document ppt, VisioDocument vsd, a message msg), else from its class
//   id, else "ole" for any storage with CompObj or Ole; a storage
//   that is none of these is searched in turn, and its property sets are
//   "<storage name> SummaryInformation.txt" and the like;
// - the root's property sets: "SummaryInformation.txt" and
//   "DocumentSummaryInformation.txt", one "Name: value" line a property.
std::vector<View> FindViews(StorageReader& root, const ViewLimits& limits, platform::CodePage ansi);

// For a kMessageCopy: the attached message's property stream rewritten with
// the header a top-level message has (the 24-byte header of an embedded
// message becomes the 32-byte one); nullopt when it is not a property stream.
std::optional<std::vector<uint8_t>> TopLevelMessageProperties(std::span<const uint8_t> embedded);

}  // namespace content
