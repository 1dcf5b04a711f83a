#include "platform/stg_messages.h"

#include <algorithm>
#include <iterator>

namespace platform {

namespace {

struct Message {
  uint32_t code;
  const char* text;
};

constexpr Message kMessages[] = {
    {0x80030001, "Unable to perform requested operation.\r\n"},
    {0x80030002, "%1 could not be found.\r\n"},
    {0x80030003, "The path %1 could not be found.\r\n"},
    {0x80030004, "There are insufficient resources to open another file.\r\n"},
    {0x80030005, "Access Denied.\r\n"},
    {0x80030006, "Attempted an operation on an invalid object.\r\n"},
    {0x80030008, "There is insufficient memory available to complete operation.\r\n"},
    {0x80030009, "Invalid pointer error.\r\n"},
    {0x80030012, "There are no more entries to return.\r\n"},
    {0x80030013, "Disk is write-protected.\r\n"},
    {0x80030019, "An error occurred during a seek operation.\r\n"},
    {0x8003001D, "A disk error occurred during a write operation.\r\n"},
    {0x8003001E, "A disk error occurred during a read operation.\r\n"},
    {0x80030020, "A share violation has occurred.\r\n"},
    {0x80030021, "A lock violation has occurred.\r\n"},
    {0x80030050, "%1 already exists.\r\n"},
    {0x80030057, "Invalid parameter error.\r\n"},
    {0x80030070, "There is insufficient disk space to complete operation.\r\n"},
    {0x800300FA, "An API call exited abnormally.\r\n"},
    {0x800300FB, "The file %1 is not a valid compound file.\r\n"},
    {0x800300FC, "The name %1 is not valid.\r\n"},
    {0x800300FD, "An unexpected error occurred.\r\n"},
    {0x800300FE, "That function is not implemented.\r\n"},
    {0x800300FF, "Invalid flag error.\r\n"},
    {0x80030100, "Attempted to use an object that is busy.\r\n"},
    {0x80030101, "The storage has been changed since the last commit.\r\n"},
    {0x80030102, "Attempted to use an object that has ceased to exist.\r\n"},
    {0x80030103, "Can't save.\r\n"},
    {0x80030104,
     "The compound file %1 was produced with an incompatible version of storage.\r\n"},
    {0x80030105, "The compound file %1 was produced with a newer version of storage.\r\n"},
    {0x80030106, "Share.exe or equivalent is required for operation.\r\n"},
    {0x80030107, "Illegal operation called on non-file based storage.\r\n"},
    {0x80030108, "Illegal operation called on object with extant marshallings.\r\n"},
    {0x80030109, "The docfile has been corrupted.\r\n"},
};

}  // namespace

const char* StgMessageText(uint32_t code) {
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                             [](const Message& m, uint32_t c) { return m.code < c; });
  return it != std::end(kMessages) && it->code == code ? it->text : nullptr;
}

}  // namespace platform
