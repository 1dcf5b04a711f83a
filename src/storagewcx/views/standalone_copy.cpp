#include "storagewcx/views/standalone_copy.h"

#include "content/views.h"
#include "storagewcx/views/folder_reader.h"
#include "wcx/wcx_api.h"

namespace storagewcx {
namespace {

using storage::TStructStorageFolder;
using storage::TStructStorageStream;

const std::u16string kProperties = u"__properties_version1.0";
const std::u16string kNamedProperties = u"__nameid_version1.0";

const OLECHAR* Ole(const std::u16string& name) {
  return reinterpret_cast<const OLECHAR*>(name.c_str());
}

std::optional<std::vector<uint8_t>> TopLevelProperties(TStructStorageFolder& message) {
  const std::optional<std::vector<uint8_t>> embedded =
      FolderReader(message).ReadStream(kProperties, content::ViewLimits{}.maxSmallStream);
  if (!embedded) return std::nullopt;
  return content::TopLevelMessageProperties(*embedded);
}

bool ReplaceStream(TStructStorageFolder& folder, const std::u16string& name,
                   const std::vector<uint8_t>& bytes) {
  std::unique_ptr<TStructStorageStream> stream;
  if (!folder.CreateElement(Ole(name), false) || !folder.OpenStreamElement(Ole(name), stream))
    return false;
  return stream->Write(bytes.data(), static_cast<int32_t>(bytes.size())) ==
         static_cast<int32_t>(bytes.size());
}

// The root's map, where the message's named properties are defined; a
// message without one has none to define.
int32_t CopyNamedProperties(TStructStorageFolder& root, TStructStorageFolder& copy) {
  const std::optional<OpenedPath> names = OpenStoragePath(root, {kNamedProperties});
  if (!names) return 0;
  std::unique_ptr<TStructStorageFolder> target;
  if (!copy.CreateElement(Ole(kNamedProperties), true) ||
      !copy.OpenSubFolder(Ole(kNamedProperties), target))
    return wcx::E_EWRITE;
  names->Storage()->AssignTo(target.get());
  return SUCCEEDED(names->Storage()->LastHResult()) ? 0 : wcx::E_BAD_DATA;
}

}  // namespace

bool HasMessageProperties(TStructStorageFolder& message) {
  return TopLevelProperties(message).has_value();
}

int32_t WriteStandaloneCopy(TStructStorageFolder& source, CopyShape shape,
                            TStructStorageFolder& root, const std::string& target) {
  std::optional<std::vector<uint8_t>> properties;
  if (shape == CopyShape::kMessage && !(properties = TopLevelProperties(source)))
    return wcx::E_BAD_DATA;
  std::unique_ptr<TStructStorageFolder> copy;
  try {
    copy = std::make_unique<TStructStorageFolder>(
        target,
        storage::aoCreate | storage::aoRead | storage::aoWrite | storage::aoDenyRead |
            storage::aoDenyWrite,
        true);
  } catch (const storage::EStructStorageError&) {
    return wcx::E_EWRITE;
  }
  source.AssignTo(copy.get());
  if (FAILED(source.LastHResult())) return wcx::E_BAD_DATA;
  if (properties) {
    if (!ReplaceStream(*copy, kProperties, *properties)) return wcx::E_EWRITE;
    if (const int32_t result = CopyNamedProperties(root, *copy)) return result;
  }
  return copy->Commit() ? 0 : wcx::E_EWRITE;
}

}  // namespace storagewcx
