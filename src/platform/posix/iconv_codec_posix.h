// A character set that iconv converts. Opening it probes the set once
// (single-byte? ASCII-compatible?) so that the per-call work is one iconv
// pass, or none for ASCII text.
#pragma once

#include <iconv.h>

#include <memory>
#include <string>

#include "platform/codec.h"

namespace platform {

class IconvCodec final : public Codec {
 public:
  // nullptr when iconv does not know the charset.
  static std::unique_ptr<IconvCodec> Open(const std::string& charset);
  ~IconvCodec() override;
  IconvCodec(const IconvCodec&) = delete;
  IconvCodec& operator=(const IconvCodec&) = delete;

  std::u16string Decode(std::string_view text) override;
  std::string Encode(std::u16string_view text) override;
  bool IsSingleByte() const override { return singleByte_; }
  bool KeepsAscii() const override { return asciiCompatible_; }

 private:
  IconvCodec(iconv_t toWide, iconv_t fromWide);

  iconv_t toWide_;
  iconv_t fromWide_;
  bool singleByte_ = false;
  bool asciiCompatible_ = false;
};

}  // namespace platform
