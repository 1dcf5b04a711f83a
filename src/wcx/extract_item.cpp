#include "wcx/extract_item.h"

#include "platform/os.h"
#include "wcx/pending_file.h"

namespace wcx {

int32_t ExtractItem(TqorWCXFile& item, const std::string& target) {
  if (item.AsDir()) return item.ExtractTo(target);
  PendingFile file(target);
  const int32_t result = item.ExtractTo(file.TemporaryPath());
  if (result != 0) return result;
  EntryHeader header;
  item.GetHeaderData(header);
  // The time first: on Windows a read-only file no longer opens to set it.
  // Neither failing makes the content any less complete.
  if (header.OwnTime) platform::SetExtractedFileTime(file.TemporaryPath(), *header.OwnTime);
  platform::ApplyFileAttributes(file.TemporaryPath(), static_cast<uint32_t>(header.FileAttr));
  file.Commit();
  return 0;
}

}  // namespace wcx
