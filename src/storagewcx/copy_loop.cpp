#include "storagewcx/copy_loop.h"

#include <algorithm>
#include <memory>

#include "rtl/exceptions.h"
#include "wcx/wcx_api.h"

namespace storagewcx {

int32_t CopyLoop(rtl::TStream& source, rtl::TStream* target, const ProgressReport& report) {
  source.SetPosition(0);
  const int64_t size = source.GetSize();
  if (size < 0) throw rtl::EReadError();
  const int32_t blockSize = static_cast<int32_t>(std::min<int64_t>(size, kCopyBlockSize));
  auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(blockSize));
  for (int64_t remaining = size; remaining > 0;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(blockSize, remaining));
    source.ReadBuffer(buffer.get(), n);
    if (target) target->WriteBuffer(buffer.get(), n);
    remaining -= n;
    if (report(n) == 0) return wcx::E_EABORTED;
  }
  return 0;
}

}  // namespace storagewcx
