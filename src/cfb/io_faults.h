// Where tests of failure paths make the file layer fail, as SQLite's tests
// fail its pager through a faulting VFS. In the shipped engine IoFaultDue is
// a constant false and the checks compile to nothing; tests build
// file_handle.cpp with CFB_IO_FAULTS and supply the schedule
// (tests/cfb/io_fault_schedule.cpp).
#pragma once

namespace cfb {

enum class IoOp { kRead, kWrite, kSync, kResize };

#if defined(CFB_IO_FAULTS)
bool IoFaultDue(IoOp op);
#else
constexpr bool IoFaultDue(IoOp) {
  return false;
}
#endif

}  // namespace cfb
