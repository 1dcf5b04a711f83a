#include "storagewcx/views/view_entries.h"

#include <algorithm>
#include <cstdint>

#include "platform/os.h"
#include "platform/unicode.h"
#include "rtl/stream.h"
#include "storagewcx/copy_loop.h"
#include "storagewcx/element_name.h"
#include "storagewcx/views/folder_reader.h"
#include "storagewcx/views/standalone_copy.h"
#include "wcx/header_time.h"

namespace storagewcx {
namespace {

using content::View;

int32_t TimeOf(const TqorStorageDir& root) {
  const FILETIME time = root.ShownTime();
  if (time.dwLowDateTime == 0 && time.dwHighDateTime == 0) return 0;
  try {
    return wcx::EncodeHeaderTime(time);
  } catch (...) {
    return 0;
  }
}

// A view's name is escaped as an element name is, so that the same rules
// make it safe on disk.
std::string ShownViewName(const std::string& name) {
  return EscapeElementName(platform::Utf8ToUtf16(name).c_str());
}

// Discards what is written: testing a text or a slice reads it whole.
class NullStream : public rtl::TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override { return count; }
  int64_t Seek(int64_t, rtl::TSeekOrigin) override { return 0; }
  void SetSize(int64_t) override {}
};

}  // namespace

// ---- TqorContentDir ---------------------------------------------------------

TqorContentDir::TqorContentDir(TqorStorageDir* root, std::vector<View> views,
                               std::vector<std::string> leftOut)
    : TqorWCXDir(root, kContentFolderName),
      FViews(std::move(views)),
      FLeftOut(std::move(leftOut)),
      FHeaderTime(TimeOf(*root)) {}

TqorContentDir::~TqorContentDir() { ShutDown(); }

storage::TStructStorageFolder* TqorContentDir::RootFolder() const {
  auto* root = dynamic_cast<TqorStorageDir*>(FParent);
  return root ? root->Folder() : nullptr;
}

void TqorContentDir::FillHeader(wcx::EntryHeader& header) {
  TqorWCXDir::FillHeader(header);
  header.FileTime = FHeaderTime;
  header.FileAttr = static_cast<int32_t>(platform::kFolderAttr);
}

int32_t TqorContentDir::TestItem() { return FLeftOut.empty() ? 0 : wcx::E_BAD_DATA; }

void TqorContentDir::Open() {
  TqorWCXDir::Open();
  for (const View& view : FViews) new TqorViewFile(this, view);
}

int32_t TqorContentDir::CreateFolder(const std::string&) { return wcx::E_NOT_SUPPORTED; }

int32_t TqorContentDir::AddFile(const std::string&, const std::string&, const ListedPlace&) {
  return wcx::E_NOT_SUPPORTED;
}

int32_t TqorContentDir::DeleteItem() { return wcx::E_NOT_SUPPORTED; }

// ---- TqorViewFile -----------------------------------------------------------

TqorViewFile::TqorViewFile(TqorContentDir* folder, const View& view)
    : TqorWCXFile(folder, ShownViewName(view.name)), FView(view) {}

void TqorViewFile::FillHeader(wcx::EntryHeader& header) {
  TqorWCXFile::FillHeader(header);
  header.PackSize = header.UnpSize = FView.size;
  header.FileTime = static_cast<TqorContentDir*>(FParent)->HeaderTime();
  header.FileAttr = static_cast<int32_t>(platform::kStreamAttr);
}

int32_t TqorViewFile::TestItem() { return Make(std::string(), Destination::kNowhere); }

int32_t TqorViewFile::ExtractTo(const std::string& target) {
  return Make(target, Destination::kFile);
}

int32_t TqorViewFile::DeleteItem() { return wcx::E_NOT_SUPPORTED; }

int32_t TqorViewFile::Make(const std::string& target, Destination destination) {
  storage::TStructStorageFolder* root = static_cast<TqorContentDir*>(FParent)->RootFolder();
  if (!root) return wcx::E_EREAD;
  const ProgressReport report = [this](int32_t n) { return DoProcessData(GetPath(), n); };
  if (FView.kind == View::Kind::kStorageCopy || FView.kind == View::Kind::kMessageCopy) {
    const std::optional<OpenedPath> source = OpenStoragePath(*root, FView.path);
    if (!source) return wcx::E_BAD_DATA;
    const CopyShape shape =
        FView.kind == View::Kind::kMessageCopy ? CopyShape::kMessage : CopyShape::kStorage;
    const int32_t result = WriteStandaloneCopy(
        *source->Storage(), shape, *root, destination == Destination::kFile ? target : std::string());
    // One report for the whole copy, which moves no bytes through here.
    if (result == 0 && report(static_cast<int32_t>(std::min<uint64_t>(FView.size, INT32_MAX))) == 0)
      return wcx::E_EABORTED;
    return result;
  }
  NullStream nowhere;
  std::unique_ptr<rtl::TFileStream> file;
  if (destination == Destination::kFile)
    file = std::make_unique<rtl::TFileStream>(target, rtl::TFileStream::Mode::fmCreate);
  rtl::TStream& out = file ? static_cast<rtl::TStream&>(*file) : nowhere;
  if (FView.kind == View::Kind::kText) {
    out.WriteBuffer(FView.text.data(), static_cast<int32_t>(FView.text.size()));
    return report(static_cast<int32_t>(FView.text.size())) == 0 ? wcx::E_EABORTED : 0;
  }
  const std::optional<OpenedPath> source = OpenStreamPath(*root, FView.path);
  if (!source) return wcx::E_BAD_DATA;
  storage::TStructStorageStream& stream = *source->stream;
  const int64_t size = stream.GetSize();
  if (size < 0 || FView.offset > static_cast<uint64_t>(size) ||
      FView.size > static_cast<uint64_t>(size) - FView.offset)
    return wcx::E_BAD_DATA;
  try {
    return CopyRange(stream, static_cast<int64_t>(FView.offset), static_cast<int64_t>(FView.size),
                     &out, report);
  } catch (const rtl::EReadError&) {
    return wcx::E_BAD_DATA;
  }
}

}  // namespace storagewcx
