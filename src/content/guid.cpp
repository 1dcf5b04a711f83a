#include "content/guid.h"

#include "rtl/format.h"

namespace content {

std::string GuidText(const Guid& g) {
  return rtl::Format("{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                     g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12],
                     g[13], g[14], g[15]);
}

}  // namespace content
