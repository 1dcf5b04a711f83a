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

void AddContentViews(TqorStorageDir& root) noexcept {
  try {
    TStructStorageFolder* folder = root.Folder();
    if (!folder || root.CreatedArchive() ||
        !wcx::SettingEnabled(kContentViewsSetting, wcx::SettingDefault::kOn))
      return;
    FolderReader reader(*folder);
    std::vector<View> found = content::FindViews(reader, content::ViewLimits{},
                                                 platform::CodePage::kAnsi);
    std::vector<View> views;
    std::vector<std::string> leftOut;
    for (View& view : found) {
      if (CanBeMade(view, *folder))
        views.push_back(std::move(view));
      else
        leftOut.push_back(view.name);
    }
    if (!views.empty() || !leftOut.empty())
      new TqorContentDir(&root, std::move(views), std::move(leftOut));
  } catch (...) {
    // Views are extras: the stored tree is listed all the same.
  }
}

}  // namespace storagewcx
