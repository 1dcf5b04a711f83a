#include "platform/ole/stream.h"

#include <vector>

#include "platform/ole/modes.h"
#include "platform/ole/result.h"
#include "platform/ole/statstg.h"

namespace platform::ole {

namespace {
constexpr uint64_t kMaxPosition = uint64_t{1} << 62;
}

Stream::Stream(ElementRef element, DWORD mode) : element_(std::move(element)), mode_(mode) {}

Stream::~Stream() {
  element_.shared->Unregister(element_.id, element_.stamp);
}

HRESULT Stream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (pcbRead) *pcbRead = 0;
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!pv && cb > 0) return STG_E_INVALIDPOINTER;
    const uint64_t n = file->Read(element_.id, position_, pv, cb);
    position_ += n;
    if (pcbRead) *pcbRead = static_cast<ULONG>(n);
    return S_OK;
  });
}

HRESULT Stream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!ModeWrites(mode_)) return STG_E_ACCESSDENIED;
    if (!pv && cb > 0) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    if (position_ + cb > kMaxPosition) return STG_E_MEDIUMFULL;
    file->Write(element_.id, position_, pv, cb);
    position_ += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  });
}

HRESULT Stream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    int64_t base;
    switch (dwOrigin) {
      case STREAM_SEEK_SET:
        base = 0;
        break;
      case STREAM_SEEK_CUR:
        base = static_cast<int64_t>(position_);
        break;
      case STREAM_SEEK_END:
        base = static_cast<int64_t>(file->Entry(element_.id).size());
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    const int64_t move = dlibMove.QuadPart;
    if ((move < 0 && base + move < 0) ||
        (move > 0 && static_cast<uint64_t>(move) > kMaxPosition - static_cast<uint64_t>(base)))
      return STG_E_INVALIDFUNCTION;
    position_ = static_cast<uint64_t>(base + move);
    if (plibNewPosition) plibNewPosition->QuadPart = position_;
    return S_OK;
  });
}

HRESULT Stream::SetSize(ULARGE_INTEGER libNewSize) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!ModeWrites(mode_)) return STG_E_ACCESSDENIED;
    if (libNewSize.QuadPart > kMaxPosition) return STG_E_MEDIUMFULL;
    file->Resize(element_.id, libNewSize.QuadPart);
    return S_OK;
  });
}

HRESULT Stream::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                       ULARGE_INTEGER* pcbWritten) {
  if (pcbRead) pcbRead->QuadPart = 0;
  if (pcbWritten) pcbWritten->QuadPart = 0;
  return Guarded([&] {
    if (!pstm) return STG_E_INVALIDPOINTER;
    std::vector<uint8_t> buffer(1 << 20);
    uint64_t left = cb.QuadPart;
    uint64_t read_total = 0;
    uint64_t written_total = 0;
    HRESULT hr = S_OK;
    while (left > 0) {
      ULONG got = 0;
      hr = Read(buffer.data(), static_cast<ULONG>(std::min<uint64_t>(left, buffer.size())), &got);
      if (FAILED(hr) || got == 0) break;
      read_total += got;
      ULONG put = 0;
      hr = pstm->Write(buffer.data(), got, &put);
      written_total += put;
      if (FAILED(hr)) break;
      left -= got;
    }
    if (pcbRead) pcbRead->QuadPart = read_total;
    if (pcbWritten) pcbWritten->QuadPart = written_total;
    return FAILED(hr) ? hr : S_OK;
  });
}

HRESULT Stream::Commit(DWORD) {
  return Guarded([&] {
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    if (!element_.shared->transacted()) file->Commit();
    return S_OK;
  });
}

HRESULT Stream::Revert() {
  return element_.Live() ? S_OK : STG_E_REVERTED;
}

HRESULT Stream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT Stream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

HRESULT Stream::Stat(STATSTG* pstatstg, DWORD grfStatFlag) {
  return Guarded([&] {
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    if (grfStatFlag != STATFLAG_DEFAULT && grfStatFlag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    cfb::CompoundFile* file = element_.Live();
    if (!file) return STG_E_REVERTED;
    FillElementStat(*file, element_.id, mode_, grfStatFlag, *pstatstg);
    return S_OK;
  });
}

HRESULT Stream::Clone(IStream** ppstm) {
  return Guarded([&] {
    if (!ppstm) return STG_E_INVALIDPOINTER;
    *ppstm = nullptr;
    if (!element_.Live()) return STG_E_REVERTED;
    auto* clone = new Stream(element_, mode_);
    element_.shared->AddHolder(element_.id, element_.stamp);
    clone->position_ = position_;
    *ppstm = clone;
    return S_OK;
  });
}

}  // namespace platform::ole
