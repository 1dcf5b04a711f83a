// Writes a folder into a new compound file through the system's structured
// storage (Windows' OLE32, or the engine on Linux), with 512-byte sectors
// (version 3) or 4096-byte ones (version 4): folders become storages, files
// streams, and names keep every Unicode character of the file names. The
// plug-ins never choose the version themselves for small content, so the
// interop tests make their version 4 files with this.
//   write_compound OUT.doc 512|4096 FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/com_ptr.h"
#include "platform/ole.h"

namespace {

namespace fs = std::filesystem;
using platform::ComPtr;

constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw std::runtime_error(what + (": error " + std::to_string(hr)));
}

const OLECHAR* Ole(const std::u16string& name) {
  return reinterpret_cast<const OLECHAR*>(name.c_str());
}

void CopyFolder(const fs::path& folder, IStorage& storage) {
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::u16string name = entry.path().filename().u16string();
    if (entry.is_directory()) {
      ComPtr<IStorage> child;
      Check(storage.CreateStorage(Ole(name), kCreateMode, 0, 0, child.Receive()), "CreateStorage");
      CopyFolder(entry.path(), *child.Get());
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(in), {});
    ComPtr<IStream> stream;
    Check(storage.CreateStream(Ole(name), kCreateMode, 0, 0, stream.Receive()), "CreateStream");
    ULONG written = 0;
    if (!content.empty())
      Check(stream->Write(content.data(), static_cast<ULONG>(content.size()), &written), "Write");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: write_compound OUT.doc 512|4096 FOLDER\n");
    return 2;
  }
  try {
    STGOPTIONS options{};
    options.usVersion = 1;
    options.ulSectorSize = static_cast<ULONG>(std::stoul(argv[2]));
    const std::u16string name = fs::path(argv[1]).u16string();
    ComPtr<IStorage> root;
    Check(StgCreateStorageEx(Ole(name), kCreateMode, STGFMT_DOCFILE, 0, &options, nullptr,
                             IID_IStorage, reinterpret_cast<void**>(root.Receive())),
          "StgCreateStorageEx");
    CopyFolder(argv[3], *root.Get());
    Check(root->Commit(STGC_DEFAULT), "Commit");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_compound: %s\n", e.what());
    return 1;
  }
  return 0;
}
