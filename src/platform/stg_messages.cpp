#include "platform/stg_messages.h"

namespace platform {

const char* StgMessageText(uint32_t) { return nullptr; }

}  // namespace platform
