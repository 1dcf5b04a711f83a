// The system's message texts for the result codes of the structured-storage API.
#pragma once

#include <cstdint>

namespace platform {

// The text followed by CR LF, or nullptr for a code that is not one of them.
const char* StgMessageText(uint32_t code);

}  // namespace platform
