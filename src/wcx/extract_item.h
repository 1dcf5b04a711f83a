// Extraction of one entry to a disk file, finished with the entry's
// attributes and time.
#pragma once

#include <string>

#include "wcx/archive_tree.h"

namespace wcx {

// The entry's ExtractTo, then, on success, the header's attributes and time
// on the new file. A failed or cancelled extraction removes the file it
// created or truncated, so that no incomplete file looks complete.
int32_t ExtractItem(TqorWCXFile& item, const std::string& target);

}  // namespace wcx
