#include "io_fault_schedule.h"

#include <array>
#include <cstddef>

#define IO_FAULTS_EXPORT __attribute__((visibility("default")))

namespace {

std::array<uint64_t, 4> gCounts{};
cfb::IoOp gOp = cfb::IoOp::kRead;
uint64_t gFailAt = 0;  // 0: none
bool gFromThenOn = false;
bool gFired = false;

}  // namespace

namespace cfb {

bool IoFaultDue(IoOp op) {
  const uint64_t n = ++gCounts[static_cast<size_t>(op)];
  const bool due = gFailAt != 0 && op == gOp && (n == gFailAt || (gFromThenOn && n > gFailAt));
  gFired = gFired || due;
  return due;
}

}  // namespace cfb

extern "C" {

IO_FAULTS_EXPORT void IoFaultsReset() {
  IoFaultsArm(cfb::IoOp::kRead, 0, false);
}

IO_FAULTS_EXPORT void IoFaultsArm(cfb::IoOp op, uint64_t n, bool from_then_on) {
  gCounts.fill(0);
  gOp = op;
  gFailAt = n;
  gFromThenOn = from_then_on;
  gFired = false;
}

IO_FAULTS_EXPORT uint64_t IoFaultsCount(cfb::IoOp op) {
  return gCounts[static_cast<size_t>(op)];
}

IO_FAULTS_EXPORT bool IoFaultsFired() {
  return gFired;
}
}
