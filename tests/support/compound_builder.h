// Builds compound files for tests through the structured-storage API.
#pragma once

#include <map>
#include <stdexcept>
#include <string>

#include "platform/com_ptr.h"
#include "platform/ole.h"
#include "platform/unicode.h"

namespace testing_support {

class CompoundBuilder {
 public:
  explicit CompoundBuilder(const std::string& fileName) {
    const std::u16string name = platform::Utf8ToUtf16(fileName);
    Check(StgCreateDocfile(Ole(name), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                           storages_[u""].Receive()));
  }

  // A storage, and every storage above it; '/' separates the levels.
  IStorage* Storage(const std::u16string& path) {
    auto found = storages_.find(path);
    if (found != storages_.end()) return found->second.Get();
    size_t slash = path.rfind(u'/');
    IStorage* parent = Storage(slash == std::u16string::npos ? u"" : path.substr(0, slash));
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    platform::ComPtr<IStorage>& storage = storages_[path];
    Check(parent->CreateStorage(Ole(name), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                0, 0, storage.Receive()));
    return storage.Get();
  }

  void Stream(const std::u16string& path, const std::string& content) {
    size_t slash = path.rfind(u'/');
    IStorage* parent = Storage(slash == std::u16string::npos ? u"" : path.substr(0, slash));
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    platform::ComPtr<IStream> stream;
    Check(parent->CreateStream(Ole(name), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                               0, stream.Receive()));
    ULONG written = 0;
    if (!content.empty())
      Check(stream->Write(content.data(), static_cast<ULONG>(content.size()), &written));
  }

 private:
  static const OLECHAR* Ole(const std::u16string& s) {
    return reinterpret_cast<const OLECHAR*>(s.c_str());
  }
  static void Check(HRESULT hr) {
    if (FAILED(hr)) throw std::runtime_error("structured-storage call failed");
  }

  // The root is "".
  std::map<std::u16string, platform::ComPtr<IStorage>> storages_;
};

}  // namespace testing_support
