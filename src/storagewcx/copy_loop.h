// The one way bytes move between a stream and a disk file: with a progress
// report after each block of at most 61440 bytes, any of which may cancel.
#pragma once

#include <cstdint>
#include <functional>

#include "rtl/stream.h"

namespace storagewcx {

inline constexpr int32_t kCopyBlockSize = 61440;

// Reports a block of n bytes; 0 asks to stop.
using ProgressReport = std::function<int32_t(int32_t n)>;

// Copies the whole of source, which must be at its start (as every stream
// just opened is), to target, or only reads it when target is null. 0 when done, E_EABORTED when a report asked to stop;
// the target then holds exactly the blocks reported. A short read or write
// raises.
int32_t CopyLoop(rtl::TStream& source, rtl::TStream* target, const ProgressReport& report);
// The same for the bytes [offset, offset + size) of source.
int32_t CopyRange(rtl::TStream& source, int64_t offset, int64_t size, rtl::TStream* target,
                  const ProgressReport& report);

}  // namespace storagewcx
