#include "storagewcx/copy_loop.h"

#include <algorithm>
#include <memory>
#include <new>

#include "rtl/exceptions.h"
#include "wcx/wcx_api.h"

namespace storagewcx {
namespace {

// Bytes move many blocks at a time (960 KiB): a read or write call costs
// about as much as copying 60 KiB, so one call per block made extracting
// 512 MiB half as slow again as 7-Zip, and packing it 1.6 times as slow as
// dd. Progress and cancelling still go block by block.
constexpr int32_t kBlocksPerCall = 16;

struct PageAlignedDelete {
  void operator()(char* p) const { ::operator delete(p, std::align_val_t{4096}); }
};

// Copies [position, position + size) of source from where it stands.
int32_t CopyFromHere(rtl::TStream& source, int64_t size, rtl::TStream* target,
                     const ProgressReport& report) {
  const int32_t bufferSize =
      static_cast<int32_t>(std::min<int64_t>(size, int64_t{kCopyBlockSize} * kBlocksPerCall));
  // Page-aligned, as the system's own copy tools keep theirs: the kernel
  // copies to and from an unaligned buffer markedly slower. A file of a
  // page or less, packing's common case, needs no allocation at all.
  constexpr std::align_val_t kPageAlignment{4096};
  alignas(4096) char page[4096];
  const std::unique_ptr<char, PageAlignedDelete> allocated(
      bufferSize > static_cast<int32_t>(sizeof page)
          ? static_cast<char*>(::operator new(static_cast<size_t>(bufferSize), kPageAlignment))
          : nullptr);
  char* const buffer = allocated ? allocated.get() : page;
  for (int64_t done = 0; done < size;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(bufferSize, size - done));
    source.ReadBuffer(buffer, n);
    if (target) target->WriteBuffer(buffer, n);
    for (const int64_t end = done + n; done < end;) {
      const int32_t block = static_cast<int32_t>(std::min<int64_t>(kCopyBlockSize, end - done));
      done += block;
      if (report(block) == 0) {
        if (target) target->SetSize(done);
        return wcx::E_EABORTED;
      }
    }
  }
  return 0;
}

}  // namespace

int32_t CopyLoop(rtl::TStream& source, rtl::TStream* target, const ProgressReport& report) {
  const int64_t size = source.GetSize();
  if (size < 0) throw rtl::EReadError();
  // No seek to the start, where the stream already is: packing many small
  // files paid a system call per file for it.
  return CopyFromHere(source, size, target, report);
}

int32_t CopyRange(rtl::TStream& source, int64_t offset, int64_t size, rtl::TStream* target,
                  const ProgressReport& report) {
  if (offset < 0 || size < 0) throw rtl::EReadError();
  source.SetPosition(offset);
  return CopyFromHere(source, size, target, report);
}

}  // namespace storagewcx
