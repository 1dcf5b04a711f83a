#include "content/views.h"

#include <array>
#include <utility>

#include "content/child_lookup.h"
#include "content/embedded_storage.h"
#include "content/message_properties.h"
#include "content/message_views.h"
#include "content/property_set.h"
#include "content/view_collector.h"
#include "platform/unicode.h"

namespace content {
namespace {

using PropertySetStream = std::pair<std::u16string_view, std::string_view>;
constexpr std::array kPropertySetStreams{
    PropertySetStream{u"\x05SummaryInformation", "SummaryInformation.txt"},
    PropertySetStream{u"\x05"
                      "DocumentSummaryInformation",
                      "DocumentSummaryInformation.txt"},
};

// `prefix` tells the sets of a storage below the root from the root's.
void AddPropertySetViews(StorageReader& storage, const std::vector<ChildElement>& children,
                         const std::string& prefix, ViewCollector& collector) {
  for (const auto& [stream, name] : kPropertySetStreams) {
    if (!FindChild(children, stream, ElementKind::kStream)) continue;
    const auto bytes = storage.ReadStream(stream, collector.limits().maxSmallStream);
    if (!bytes) continue;
    auto text = PropertySetText(*bytes, collector.ansi());
    if (!text || text->empty()) continue;
    View view;
    view.kind = View::Kind::kText;
    view.name = prefix + std::string(name);
    view.size = text->size();
    view.text = std::move(*text);
    collector.Add(std::move(view));
  }
}

// The storages below `storage`: each that holds an object gives its view,
// the others are searched in turn.
void SearchStorages(StorageReader& storage, const std::vector<ChildElement>& children,
                    const std::vector<std::u16string>& path, ViewCollector& collector) {
  if (path.size() >= static_cast<size_t>(std::max(collector.limits().maxDepth, 0))) return;
  for (const auto& child : children) {
    if (child.kind != ElementKind::kStorage) continue;
    if (collector.Full() || !collector.MayOpenStorage()) return;
    auto sub = storage.OpenStorage(child.name);
    if (!sub) continue;
    const auto subChildren = sub->Children(collector.limits().maxChildren);
    const auto subPath = Below(path, child.name);
    const std::string name = platform::Utf16ToUtf8(child.name);
    // The parts of a message stand on their own only as the message shows them.
    const StorageKind kind = IsMessagePart(child.name)
                                 ? StorageKind{StorageRole::kFolder, {}}
                                 : ClassifyStorage(subChildren, GuidFrom(child.clsid));
    if (kind.role != StorageRole::kFolder) {
      AddStorageView(*sub, subChildren, subPath, kind, name, collector);
      continue;
    }
    AddPropertySetViews(*sub, subChildren, name + " ", collector);
    SearchStorages(*sub, subChildren, subPath, collector);
  }
}

}  // namespace

std::vector<View> FindViews(StorageReader& root, const ViewLimits& limits,
                            platform::CodePage ansi) {
  ViewCollector collector(limits, ansi);
  const auto children = root.Children(limits.maxChildren);
  if (IsMessage(children)) {
    AddMessageViews(root, children, collector);
  } else {
    // A file that is one embedded object (an Office document's oleObject1.bin).
    const StorageKind kind = ClassifyStorage(children, {});
    if (kind.role == StorageRole::kPackage)
      AddStorageView(root, children, {}, kind, "Ole10Native", collector);
    SearchStorages(root, children, {}, collector);
  }
  AddPropertySetViews(root, children, "", collector);
  return collector.Take();
}

}  // namespace content
