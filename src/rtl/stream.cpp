#include "rtl/stream.h"

#include "rtl/exceptions.h"

namespace rtl {

int64_t TStream::GetSize() {
  int64_t position = Seek(0, TSeekOrigin::soCurrent);
  int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

TFileStream::TFileStream(const std::string& fileName, Mode mode) : fileName_(fileName) {
  if (mode == Mode::fmCreate) {
    if (!file_.Open(fileName, platform::File::Mode::kCreate))
      throw EFCreateError(fileName, platform::GetLastError());
  } else {
    if (!file_.Open(fileName, platform::File::Mode::kReadDenyWrite))
      throw EFOpenError(fileName, platform::GetLastError());
  }
}

TFileStream::TFileStream(const platform::SourceFolder& folder, const std::string& name)
    : fileName_(folder.Path() + name) {
  if (!file_.Open(folder, name, platform::File::Mode::kReadDenyWrite))
    throw EFOpenError(fileName_, platform::GetLastError());
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
  int64_t n = count > 0 ? file_.Read(buffer, count) : 0;
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  int64_t n = count > 0 ? file_.Write(buffer, count) : 0;
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  return file_.Seek(offset, static_cast<int>(origin));
}

int64_t TFileStream::GetSize() { return file_.Size(); }

void TFileStream::SetSize(int64_t newSize) {
  if (!file_.Truncate(newSize)) RaiseLastOSError();
}

}  // namespace rtl
