// Feeds arbitrary bytes to each parser of what streams hold: property sets,
// Ole10Native headers (as a whole stream and as the prefix of a larger
// one), message property streams of every owner, and the header rewrite of
// an attached message's properties.
#include <cstdint>
#include <cstdlib>

#include "content/message_properties.h"
#include "content/ole10_native.h"
#include "content/property_set.h"
#include "content/views.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const auto ansi = platform::CodePage::kAnsi;
  if (auto text = content::PropertySetText(bytes, ansi);
      text && text->size() > content::kMaxPropertySetText)
    std::abort();
  for (uint64_t streamSize : {uint64_t{size}, uint64_t{size} + 1000000}) {
    if (auto object = content::ParseOle10Native(bytes, streamSize, ansi)) {
      if (object->offset > streamSize || object->size > streamSize - object->offset) std::abort();
    }
  }
  for (auto owner : {content::PropertyStreamOwner::kTopLevelMessage,
                     content::PropertyStreamOwner::kEmbeddedMessage,
                     content::PropertyStreamOwner::kAttachmentOrRecipient})
    (void)content::FixedProperties(bytes, owner).Find(0x0039, content::kPropTime);
  if (auto top = content::TopLevelMessageProperties(bytes); top && top->size() != size + 8)
    std::abort();
  return 0;
}
