#include "storage/struct_storage.h"

namespace storage {

void TStructStorageStream::RequireStream() const {
  if (!FStreamIntf) throw EStructStorageError("IStream is nil");
}

bool TStructStorageStream::RecordResult(HRESULT code) {
  FLastHResult = code;
  return SUCCEEDED(code);
}

int32_t TStructStorageStream::Read(void* buffer, int32_t count) {
  RequireStream();
  ULONG done = 0;
  if (count <= 0 || FAILED(FStreamIntf->Read(buffer, static_cast<ULONG>(count), &done))) return 0;
  return static_cast<int32_t>(done);
}

int32_t TStructStorageStream::Write(const void* buffer, int32_t count) {
  RequireStream();
  ULONG done = 0;
  if (count <= 0 || FAILED(FStreamIntf->Write(buffer, static_cast<ULONG>(count), &done)))
    return 0;
  return static_cast<int32_t>(done);
}

int64_t TStructStorageStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  RequireStream();
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER position;
  position.QuadPart = 0;
  if (FAILED(FStreamIntf->Seek(move, static_cast<DWORD>(origin), &position))) return -1;
  return static_cast<int64_t>(position.QuadPart);
}

void TStructStorageStream::SetSize(int64_t newSize) {
  RequireStream();
  ULARGE_INTEGER size;
  size.QuadPart = static_cast<uint64_t>(newSize);
  FStreamIntf->SetSize(size);
}

bool TStructStorageStream::QueryStat(STATSTG& stat, bool includeName) {
  RequireStream();
  return RecordResult(FStreamIntf->Stat(&stat, includeName ? STATFLAG_DEFAULT : STATFLAG_NONAME));
}

}  // namespace storage
