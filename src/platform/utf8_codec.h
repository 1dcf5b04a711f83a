// UTF-8, converted without the C library: the common case on Linux, and the
// fallback for a character set that iconv does not know.
#pragma once

#include "platform/codec.h"

namespace platform {

class Utf8Codec final : public Codec {
 public:
  std::u16string Decode(std::string_view text) override;
  std::string Encode(std::u16string_view text) override;
  bool IsSingleByte() const override { return false; }
  bool KeepsAscii() const override { return true; }
};

}  // namespace platform
