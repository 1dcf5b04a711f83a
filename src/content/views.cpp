#include "content/views.h"

namespace content {

std::vector<View> FindViews(StorageReader&, const ViewLimits&, platform::CodePage) { return {}; }

std::optional<std::vector<uint8_t>> TopLevelMessageProperties(std::span<const uint8_t>) {
  return std::nullopt;
}

}  // namespace content
