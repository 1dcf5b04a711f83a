#include "content/message_views.h"

#include "content/child_lookup.h"
#include "content/embedded_storage.h"
#include "content/message_ids.h"
#include "content/message_strings.h"
#include "content/message_text.h"
#include "rtl/format.h"

namespace content {
namespace {

namespace id = message_id;

constexpr size_t kMaxName = 4096;
constexpr std::u16string_view kAttachmentPrefix = u"__attach_version1.0_#";

// An attachment whose data is a storage: an attached message, or an OLE
// object.
void AddAttachedStorageView(StorageReader& attachment, const std::vector<std::u16string>& path,
                            const ChildElement& data, const std::string& name,
                            const TextCodePage& codePage, ViewCollector& collector) {
  if (!collector.MayOpenStorage()) return;
  auto storage = attachment.OpenStorage(data.name);
  if (!storage) return;
  const auto children = storage->Children(collector.limits().maxChildren);
  StorageKind kind = ClassifyStorage(children, GuidFrom(data.clsid));
  std::string viewName = name;
  if (kind.role == StorageRole::kMessage) {
    const TextCodePage own = MessageCodePage(
        ReadFixedProperties(*storage, PropertyStreamOwner::kEmbeddedMessage), codePage.fallback);
    viewName = ReadStringProperty(*storage, id::kSubject, own, kMaxName).value_or(name);
  } else if (kind.role == StorageRole::kFolder) {
    kind = {StorageRole::kDocument, "ole"};
  }
  AddStorageView(*storage, children, Below(path, data.name), kind, OnOneLine(viewName), collector);
}

void AddAttachmentView(StorageReader& attachment, const std::vector<std::u16string>& path,
                       int number, const TextCodePage& codePage, ViewCollector& collector) {
  const auto children = attachment.Children(collector.limits().maxChildren);
  const std::string name =
      ReadFirstStringProperty(attachment,
                              {id::kAttachLongFileName, id::kAttachFileName, id::kDisplayName},
                              codePage, kMaxName)
          .value_or(rtl::Format("attachment %d", number));
  if (const auto* data = FindChild(children, PropertyStreamName(id::kAttachData, kPropBinary),
                                   ElementKind::kStream)) {
    View view;
    view.kind = View::Kind::kStreamSlice;
    view.name = name;
    view.path = Below(path, data->name);
    view.size = data->size;
    collector.Add(std::move(view));
  } else if (const auto* storage =
                 FindChild(children, PropertyStreamName(id::kAttachData, kPropObject),
                           ElementKind::kStorage)) {
    AddAttachedStorageView(attachment, path, *storage, name, codePage, collector);
  }
}

}  // namespace

void AddMessageViews(StorageReader& message, const std::vector<ChildElement>& children,
                     ViewCollector& collector) {
  const FixedProperties properties =
      ReadFixedProperties(message, PropertyStreamOwner::kTopLevelMessage);
  const TextCodePage codePage = MessageCodePage(properties, collector.ansi());
  collector.Add(MessageTextView(message, children, properties, codePage, collector));
  int number = 0;
  for (const auto& child : children) {
    if (child.kind != ElementKind::kStorage || !child.name.starts_with(kAttachmentPrefix)) continue;
    if (collector.Full() || !collector.MayOpenStorage()) return;
    ++number;
    if (auto attachment = message.OpenStorage(child.name))
      AddAttachmentView(*attachment, {child.name}, number, codePage, collector);
  }
}

}  // namespace content
