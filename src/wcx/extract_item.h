// Extraction of one entry to a disk file, finished with the entry's
// attributes and time.
#pragma once

#include <string>

#include "wcx/archive_tree.h"

namespace wcx {

// A folder: the entry's ExtractTo. An entry: its ExtractTo into a file
// beside the target, which gets the header's attributes and the entry's own
// time and only then takes the target's place. A failed or cancelled
// extraction leaves the target as it was. Raises EFCreateError when the
// target cannot be replaced.
int32_t ExtractItem(TqorWCXFile& item, const std::string& target);

}  // namespace wcx
