// Names and meanings of the WCX result codes, for the host's messages.
#pragma once

#include <cstdint>
#include <string>

#include "host_error.h"

namespace wcxhost {

// "E_EREAD: error reading from a file"; unknown codes are shown by number.
std::string DescribeResult(int32_t code);

// The error for a failed plug-in call: "<what> (<name>: <meaning>)".
// E_EABORTED is the user's cancel and exits with kExitCancelled.
HostError ResultError(const std::string& what, int32_t code);

}  // namespace wcxhost
