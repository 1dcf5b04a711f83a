// Whether and which views an archive root shows: found by the content
// parsers when the root opens, each checked against the file, and shown in
// a [Content] folder only when there is something to show.
#pragma once

#include "storagewcx/storage_entries.h"

namespace storagewcx {

// The setting that turns the views off (ContentViews=0 in the host's ini).
inline constexpr const char* kContentViewsSetting = "ContentViews";

// Adds the [Content] folder to an open archive root, after its stored
// elements. Nothing that goes wrong in finding views reaches the caller:
// the stored tree lists as it would without them.
void AddContentViews(TqorStorageDir& root) noexcept;

}  // namespace storagewcx
