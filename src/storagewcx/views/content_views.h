// Whether and which views an archive root shows: found by the content
// parsers when the root opens, each checked against the file, and shown in
// a [Content] folder only when there is something to show.
#pragma once

#include <string>
#include <vector>

#include "content/views.h"
#include "storagewcx/storage_entries.h"

namespace storagewcx {

// The setting that turns the views off (ContentViews=0 in the host's ini).
inline constexpr const char* kContentViewsSetting = "ContentViews";

// The views of an open archive root, each checked against the file; those
// that cannot be made are named in leftOut.
struct FoundContentViews {
  std::vector<content::View> views;
  std::vector<std::string> leftOut;
};

// Found before the root lists its elements: the parsers' own list of the
// root's children then comes and goes before a node exists, instead of
// adding to the peak of a root with a million of them. Nothing that goes
// wrong in finding views reaches the caller: the stored tree lists as it
// would without them.
FoundContentViews FindContentViews(TqorStorageDir& root) noexcept;

// Adds the [Content] folder for what was found, after the root's stored
// elements, when there is something to show.
void AddContentViews(TqorStorageDir& root, FoundContentViews found) noexcept;

}  // namespace storagewcx
