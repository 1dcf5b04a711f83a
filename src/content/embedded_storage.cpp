#include "content/embedded_storage.h"

#include <array>
#include <utility>

#include "content/child_lookup.h"
#include "content/message_properties.h"
#include "content/ole10_native.h"
#include "content/storage_size.h"

namespace content {
namespace {

using Extension = std::pair<std::u16string_view, std::string_view>;

// Streams that tell what a document is, whatever its class id says.
constexpr std::array kContentStreams{
    Extension{u"WordDocument", "doc"},  Extension{u"Workbook", "xls"},
    Extension{u"Book", "xls"},          Extension{u"PowerPoint Document", "ppt"},
    Extension{u"VisioDocument", "vsd"},
};

struct ClassExtension {
  Guid clsid;
  std::string_view extension;
};

const std::array<ClassExtension, 9>& KnownClasses() {
  static constexpr std::array<ClassExtension, 9> kClasses{{
      {OleClassId(0x00020900), "doc"},  // Word 6
      {OleClassId(0x00020906), "doc"},  // Word 97 and later
      {OleClassId(0x00020810), "xls"},  // Excel 5 sheet
      {OleClassId(0x00020811), "xls"},  // Excel 5 chart
      {OleClassId(0x00020820), "xls"},  // Excel 97 sheet
      {OleClassId(0x00020821), "xls"},  // Excel 97 chart
      {MakeGuid(0x64818D10, 0x4F9B, 0x11CF, {0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8}),
       "ppt"},
      {MakeGuid(0x64818D11, 0x4F9B, 0x11CF, {0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8}),
       "ppt"},
      {OleClassId(0x00021A14), "vsd"},  // Visio
  }};
  return kClasses;
}

// Any object the system embeds carries one of these.
constexpr std::array kObjectStreams{std::u16string_view(u"\x01"
                                                        "CompObj"),
                                    std::u16string_view(u"\x01Ole")};

bool HasStream(const std::vector<ChildElement>& children, std::u16string_view name) {
  return FindChild(children, name, ElementKind::kStream) != nullptr;
}

void AddNativeView(StorageReader& storage, const ChildElement& stream,
                   const std::vector<std::u16string>& path, const std::string& name,
                   ViewCollector& collector) {
  const auto prefix = storage.ReadStreamPrefix(stream.name, kOle10NativeHeaderBytes);
  if (!prefix) return;
  const auto object = ParseOle10Native(*prefix, stream.size, collector.ansi());
  if (!object) return;
  View view;
  view.kind = View::Kind::kStreamSlice;
  view.name = object->fileName.empty() ? WithExtension(name, "bin") : object->fileName;
  view.path = Below(path, stream.name);
  view.offset = object->offset;
  view.size = object->size;
  collector.Add(std::move(view));
}

}  // namespace

std::string WithExtension(std::string name, std::string_view extension) {
  const size_t dot = name.size() > extension.size() ? name.size() - extension.size() - 1 : 0;
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  bool ends = dot > 0 && name[dot] == '.';
  for (size_t i = 0; ends && i < extension.size(); ++i)
    ends = lower(name[dot + 1 + i]) == extension[i];
  if (!ends) name += "." + std::string(extension);
  return name;
}

StorageKind ClassifyStorage(const std::vector<ChildElement>& children, const Guid& clsid) {
  if (HasStream(children, kOle10NativeStream)) return {StorageRole::kPackage, {}};
  if (IsMessage(children)) return {StorageRole::kMessage, "msg"};
  for (const auto& [stream, extension] : kContentStreams)
    if (HasStream(children, stream)) return {StorageRole::kDocument, extension};
  for (const auto& known : KnownClasses())
    if (known.clsid == clsid) return {StorageRole::kDocument, known.extension};
  for (const auto stream : kObjectStreams)
    if (HasStream(children, stream)) return {StorageRole::kDocument, "ole"};
  return {StorageRole::kFolder, {}};
}

void AddStorageView(StorageReader& storage, const std::vector<ChildElement>& children,
                    const std::vector<std::u16string>& path, const StorageKind& kind,
                    const std::string& name, ViewCollector& collector) {
  switch (kind.role) {
    case StorageRole::kPackage:
      AddNativeView(storage, *FindChild(children, kOle10NativeStream, ElementKind::kStream), path,
                    name, collector);
      return;
    case StorageRole::kDocument:
    case StorageRole::kMessage: {
      View view;
      view.kind =
          kind.role == StorageRole::kMessage ? View::Kind::kMessageCopy : View::Kind::kStorageCopy;
      view.name = WithExtension(name, kind.extension);
      view.path = path;
      view.size = StreamBytesWithin(storage, children, static_cast<int>(path.size()), collector);
      collector.Add(std::move(view));
      return;
    }
    case StorageRole::kFolder:
      return;
  }
}

}  // namespace content
