// One 8-bit character set as the code-page functions of os.h use it. The
// lone surrogates of the wide side (bytes that did not decode) are handled
// above this interface, so a codec only ever encodes well-formed UTF-16.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/os.h"
#include "platform/unicode.h"

namespace platform {

class Codec {
 public:
  virtual ~Codec() = default;

  // Never fails: a byte that does not decode becomes U+DC80..U+DCFF.
  virtual std::u16string Decode(std::string_view text) = 0;
  // `text` holds no lone surrogates. A character the set cannot represent
  // becomes '?'.
  virtual std::string Encode(std::u16string_view text) = 0;
  virtual bool IsSingleByte() const = 0;
  // Every ASCII character is its own byte, both ways.
  virtual bool KeepsAscii() const = 0;
};

// ---- What each system provides (codepage_posix.cpp, codepage_win.cpp) -------

// Calls use(codec, context) with the codec of the code page. A codec may
// serve one caller at a time, so `use` must not call the code-page functions
// of os.h.
void UseCodec(CodePage cp, void (*use)(Codec&, void*), void* context);

// The same for the code page a document names by its Windows number; false,
// without calling `use`, when the system has no converter for it.
bool UseNumberedCodec(uint32_t codePage, void (*use)(Codec&, void*), void* context);

// fn(codec) run with the codec of the code page, through UseCodec.
template <typename Fn>
auto WithCodec(CodePage cp, Fn&& fn) {
  std::optional<decltype(fn(std::declval<Codec&>()))> result;
  auto call = [&](Codec& codec) { result.emplace(fn(codec)); };
  UseCodec(
      cp, [](Codec& codec, void* context) { (*static_cast<decltype(call)*>(context))(codec); },
      &call);
  return std::move(*result);
}

}  // namespace platform
