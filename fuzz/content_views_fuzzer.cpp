// Builds a small tree of storages and streams from the input (see
// content_tree_codec.h) and finds its views. A crash, sanitizer report,
// hang or runaway allocation is a finding, and so is a view that breaks
// what views promise: a name, a path inside the tree, a slice inside its
// stream as the directory sizes it.
#include <cstdint>
#include <cstdlib>

#include "content/views.h"
#include "content_tree_codec.h"

namespace {

using testing_support::MemoryElement;

// The element at the path as the reader finds it: the first child of that
// name and kind.
const MemoryElement* At(const MemoryElement& root, const std::vector<std::u16string>& path,
                        content::ElementKind last) {
  const MemoryElement* element = &root;
  for (size_t i = 0; i < path.size() && element; ++i) {
    const auto kind = i + 1 == path.size() ? last : content::ElementKind::kStorage;
    const MemoryElement* next = nullptr;
    for (const auto& child : element->children)
      if (!next && child.name == path[i] && child.kind == kind) next = &child;
    element = next;
  }
  return element;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const MemoryElement root = content_fuzz::Decoder({data, size}).Tree();
  testing_support::ReadLog log;
  testing_support::MemoryStorageReader reader(root, log);
  content::ViewLimits limits;
  limits.maxViews = 64;
  limits.maxChildren = 256;
  limits.maxSmallStream = 1 << 20;
  for (const auto& view : content::FindViews(reader, limits, platform::CodePage::kAnsi)) {
    Check(!view.name.empty());
    if (view.kind == content::View::Kind::kText) {
      Check(view.size == view.text.size());
      continue;
    }
    const bool slice = view.kind == content::View::Kind::kStreamSlice;
    const MemoryElement* element =
        At(root, view.path, slice ? content::ElementKind::kStream : content::ElementKind::kStorage);
    Check(element != nullptr && !view.path.empty());
    if (slice) {
      const uint64_t streamSize = element->claimedSize.value_or(element->bytes.size());
      Check(view.offset <= streamSize && view.size <= streamSize - view.offset);
    }
  }
  return 0;
}
