#include "wcx/extract_item.h"

#include <optional>

#include "platform/os.h"
#include "wcx/header_time.h"

namespace wcx {
namespace {

// Removes target when the failed extraction created or changed it; a file
// it never touched stays.
void RemoveIncompleteFile(const std::string& target,
                          const std::optional<platform::FileStamp>& before) {
  std::optional<platform::FileStamp> after = platform::GetFileStamp(target);
  if (after && after != before && platform::FileExists(target)) platform::DeleteFile(target);
}

// The entry's time goes to the file (platform::SetExtractedFileTime says
// which of its times). A time that does not convert leaves the times as
// writing left them.
void ApplyHeaderTime(const std::string& target, int32_t fileTime) {
  try {
    platform::SetExtractedFileTime(target, DecodeHeaderTime(fileTime));
  } catch (...) {
  }
}

}  // namespace

int32_t ExtractItem(TqorWCXFile& item, const std::string& target) {
  const bool isFolder = item.AsDir() != nullptr;
  std::optional<platform::FileStamp> before;
  if (!isFolder) before = platform::GetFileStamp(target);
  int32_t result;
  try {
    result = item.ExtractTo(target);
  } catch (...) {
    if (!isFolder) RemoveIncompleteFile(target, before);
    throw;
  }
  if (result != 0) {
    if (!isFolder) RemoveIncompleteFile(target, before);
    return result;
  }
  if (platform::FileExists(target)) {
    EntryHeader header;
    item.GetHeaderData(header);
    platform::SetFileAttributes(target, static_cast<uint32_t>(header.FileAttr));
    if (header.FileTime != 0 && header.FileTimeSource == HeaderTimeSource::kEntry)
      ApplyHeaderTime(target, header.FileTime);
  }
  return result;
}

}  // namespace wcx
