// The schedule of failures for an engine built with CFB_IO_FAULTS: counts
// the file layer's operations of each kind and fails the n-th of one kind.
// C functions, so that a test can reach the schedule inside a plug-in
// module it loaded (dlsym) as well as in its own process.
#pragma once

#include <cstdint>

#include "cfb/io_faults.h"

extern "C" {

// Counts every operation from now on and fails none.
void IoFaultsReset();
// Fails the n-th operation of the kind (1: the next one), counting from
// now on; with from_then_on, every later one of the kind fails too, as on
// a disk that stays full or broken.
void IoFaultsArm(cfb::IoOp op, uint64_t n, bool from_then_on);
// Operations of the kind since the last reset or arm.
uint64_t IoFaultsCount(cfb::IoOp op);
// Whether an operation failed since the last reset or arm.
bool IoFaultsFired();
}
