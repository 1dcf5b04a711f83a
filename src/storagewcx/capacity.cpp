#include "storagewcx/capacity.h"

#include "rtl/stream.h"

namespace storagewcx {
namespace {

constexpr uint64_t kSmallSectorLimit = 0x7FFFFE00;  // the last offset 512-byte sectors reach
constexpr int32_t kSectorShiftOffset = 0x1E;

}  // namespace

bool FitsSmallSectors(uint64_t fileSize, uint64_t bytesToAdd) {
  // One table entry of 4 bytes per 512-byte sector, and room for the
  // directory and the mini stream's tables.
  const uint64_t overhead = bytesToAdd / 128 + (1u << 20);
  return fileSize + bytesToAdd + overhead <= kSmallSectorLimit;
}

CompoundFileSize SizeOfCompoundFile(const std::string& fileName) {
  CompoundFileSize size;
  try {
    rtl::TFileStream file(fileName, rtl::TFileStream::Mode::fmOpenReadDenyWrite);
    uint8_t shift[2] = {};
    file.SetPosition(kSectorShiftOffset);
    if (file.Read(shift, 2) != 2 || shift[1] != 0 || (shift[0] != 9 && shift[0] != 12)) return size;
    size.sectorSize = 1u << shift[0];
    size.bytes = static_cast<uint64_t>(file.GetSize());
  } catch (...) {
    // Unreadable here: opening it as a compound file says why.
  }
  return size;
}

}  // namespace storagewcx
