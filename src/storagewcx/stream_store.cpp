#include "storagewcx/stream_store.h"

#include <memory>
#include <string_view>

#include "wcx/wcx_api.h"

namespace storagewcx {
namespace {

using storage::TStructStorageFolder;
using storage::TStructStorageStream;
using wcx::E_EWRITE;

const OLECHAR* Ole(const std::u16string& name) {
  return reinterpret_cast<const OLECHAR*>(name.c_str());
}

// Creates an empty stream under a name no element of the folder has, for
// content that is not complete yet. The name is exactly as long as the one
// it is to take: Wine's storage keeps an element's old name length through a
// rename, so a name of another length would come out cut short or trailed
// by the rest of the old one. "~" and a count in base 36, the count alone
// for a single character.
bool CreateTemporaryStream(TStructStorageFolder& folder, size_t length, std::u16string& name,
                           std::unique_ptr<TStructStorageStream>& stream) {
  static constexpr std::u16string_view kDigits = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const size_t countDigits = length > 1 ? length - 1 : 1;
  for (size_t attempt = 0; attempt < 1000; ++attempt) {
    name.assign(length, u'~');
    size_t rest = attempt;
    for (size_t i = 1; i <= countDigits; ++i, rest /= kDigits.size())
      name[length - i] = kDigits[rest % kDigits.size()];
    if (rest != 0) return false;  // every name of this length was tried
    if (folder.CreateStreamElement(Ole(name), stream)) return true;
    if (folder.LastHResult() != STG_E_FILEALREADYEXISTS) return false;
  }
  return false;
}

// Copies source into stream, just created as name, and closes it; when that
// fails or is cancelled the stream goes again.
int32_t FillNewStream(TStructStorageFolder& folder, const std::u16string& name,
                      std::unique_ptr<TStructStorageStream> stream, rtl::TStream& source,
                      const ProgressReport& report) {
  int32_t result;
  try {
    result = CopyLoop(source, stream.get(), report);
  } catch (...) {
    stream.reset();
    folder.RemoveElement(Ole(name));
    throw;
  }
  stream.reset();
  if (result != 0) folder.RemoveElement(Ole(name));
  return result;
}

int32_t ReplaceStream(TStructStorageFolder& folder, const std::u16string& name,
                      rtl::TStream& source, const ProgressReport& report) {
  std::u16string temporary;
  std::unique_ptr<TStructStorageStream> stream;
  if (!CreateTemporaryStream(folder, name.size(), temporary, stream)) return E_EWRITE;
  if (const int32_t result = FillNewStream(folder, temporary, std::move(stream), source, report))
    return result;
  // Every byte is in: only now does the old stream go.
  std::unique_ptr<TStructStorageStream> old;
  const bool isStream = folder.OpenStreamElement(Ole(name), old);
  old.reset();
  if (!isStream || !folder.RemoveElement(Ole(name))) {
    folder.RemoveElement(Ole(temporary));
    return E_EWRITE;
  }
  return folder.RenameElement(Ole(temporary), Ole(name)) ? 0 : E_EWRITE;
}

}  // namespace

int32_t StoreStream(TStructStorageFolder& folder, const std::u16string& name, rtl::TStream& source,
                    const ProgressReport& report) {
  // Adding, the common case, needs no temporary name and no rename.
  if (std::unique_ptr<TStructStorageStream> stream; folder.CreateStreamElement(Ole(name), stream))
    return FillNewStream(folder, name, std::move(stream), source, report);
  if (folder.LastHResult() != STG_E_FILEALREADYEXISTS) return E_EWRITE;
  return ReplaceStream(folder, name, source, report);
}

}  // namespace storagewcx
