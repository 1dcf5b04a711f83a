#include "storagewcx/views/content_views.h"

#include "content/views.h"
#include "storagewcx/views/folder_reader.h"
#include "storagewcx/views/standalone_copy.h"
#include "storagewcx/views/view_entries.h"
#include "wcx/plugin_settings.h"

namespace storagewcx {
namespace {

using content::View;
using storage::TStructStorageFolder;

// What listing can learn cheaply: the element a view comes from is there,
// whole, and (for a slice) as long as the view needs. A view that fails
// here would only fail when extracted.
bool CanBeMade(const View& view, TStructStorageFolder& root) {
  switch (view.kind) {
    case View::Kind::kText:
      return true;
    case View::Kind::kStreamSlice: {
      const std::optional<OpenedPath> stream = OpenStreamPath(root, view.path);
      const int64_t size = stream ? stream->stream->GetSize() : -1;
      return size >= 0 && view.offset <= static_cast<uint64_t>(size) &&
             view.size <= static_cast<uint64_t>(size) - view.offset;
    }
    case View::Kind::kStorageCopy:
    case View::Kind::kMessageCopy: {
      const std::optional<OpenedPath> storage = OpenStoragePath(root, view.path);
      if (!storage || !storage->Storage()->ForEachElement([](storage::StatCopy) {})) return false;
      return view.kind == View::Kind::kStorageCopy || HasMessageProperties(*storage->Storage());
    }
  }
  return false;
}

}  // namespace

FoundContentViews FindContentViews(TqorStorageDir& root) noexcept {
  FoundContentViews result;
  try {
    TStructStorageFolder* folder = root.Folder();
    if (!folder || !wcx::SettingEnabled(kContentViewsSetting, wcx::SettingDefault::kOn))
      return result;
    FolderReader reader(*folder);
    std::vector<View> found =
        content::FindViews(reader, content::ViewLimits{}, platform::CodePage::kAnsi);
    for (View& view : found) {
      if (CanBeMade(view, *folder))
        result.views.push_back(std::move(view));
      else
        result.leftOut.push_back(view.name);
    }
  } catch (...) {
    // Views are extras: the stored tree is listed all the same.
    return FoundContentViews{};
  }
  return result;
}

void AddContentViews(TqorStorageDir& root, FoundContentViews found) noexcept {
  if (found.views.empty() && found.leftOut.empty()) return;
  try {
    new TqorContentDir(&root, std::move(found.views), std::move(found.leftOut));
  } catch (...) {
    // As above: the stored tree stands without the folder.
  }
}

}  // namespace storagewcx
