// What the parts of FindViews share while they search: the limits, the
// views found so far, and how many more storages the search may open, so
// that no store, however it presents its tree, makes the search unbounded.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "content/views.h"

namespace content {

class ViewCollector {
 public:
  ViewCollector(const ViewLimits& limits, platform::CodePage ansi)
      : limits_(limits), ansi_(ansi), storagesLeft_(limits.maxChildren) {}

  const ViewLimits& limits() const { return limits_; }
  platform::CodePage ansi() const { return ansi_; }

  bool Full() const { return views_.size() >= limits_.maxViews; }
  void Add(View view) {
    if (!Full()) views_.push_back(std::move(view));
  }
  std::vector<View> Take() { return std::move(views_); }

  // False once the search has opened as many storages as one storage may
  // have children.
  bool MayOpenStorage() {
    if (storagesLeft_ == 0) return false;
    --storagesLeft_;
    return true;
  }

 private:
  const ViewLimits& limits_;
  platform::CodePage ansi_;
  size_t storagesLeft_;
  std::vector<View> views_;
};

// `path` with one more element.
inline std::vector<std::u16string> Below(std::vector<std::u16string> path, std::u16string name) {
  path.push_back(std::move(name));
  return path;
}

}  // namespace content
