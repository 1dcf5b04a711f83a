#include "platform/posix/iconv_codec_posix.h"

#include <bit>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

constexpr const char* kWideCharset =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvFailed = static_cast<size_t>(-1);

// One iconv call into `out`, repeated with more room while the output is
// full. Null input flushes a stateful encoding's shift sequence. Returns
// iconv's result; errno tells why it failed.
template <typename Out>
size_t IconvGrowing(iconv_t cd, char** in, size_t* inLeft, Out& out, size_t& used) {
  constexpr size_t kUnit = sizeof(typename Out::value_type);
  for (;;) {
    if (out.size() - used < 8) out.resize(out.size() * 2 + 16);
    char* outPtr = reinterpret_cast<char*>(out.data() + used);
    size_t outLeft = (out.size() - used) * kUnit;
    const size_t outBefore = outLeft;
    const size_t result = iconv(cd, in, inLeft, &outPtr, &outLeft);
    used += (outBefore - outLeft) / kUnit;
    if (result != kIconvFailed || errno != E2BIG) return result;
  }
}

// Runs iconv over the input into `out`, growing it as needed. Stops at the
// first byte sequence that does not convert (EILSEQ, or EINVAL for one cut
// short) and returns false with errno telling which; true at the end of the
// input.
template <typename Out>
bool Convert(iconv_t cd, const char*& in, size_t& inLeft, Out& out, size_t& used) {
  // iconv's input is char* for historical reasons; it does not write to it.
  return IconvGrowing(cd, const_cast<char**>(&in), &inLeft, out, used) != kIconvFailed;
}

// Ends a stateful encoding's shift sequence and resets the descriptor.
template <typename Out>
void Finish(iconv_t cd, Out& out, size_t& used) {
  IconvGrowing(cd, nullptr, nullptr, out, used);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

std::unique_ptr<IconvCodec> IconvCodec::Open(const std::string& charset) {
  // "//TRANSLIT" and the like would change what a conversion means.
  if (charset.find('/') != std::string::npos) return nullptr;
  iconv_t toWide = iconv_open(kWideCharset, charset.c_str());
  if (toWide == kNoDescriptor) return nullptr;
  iconv_t fromWide = iconv_open(charset.c_str(), kWideCharset);
  if (fromWide == kNoDescriptor) {
    iconv_close(toWide);
    return nullptr;
  }
  std::unique_ptr<IconvCodec> codec(new IconvCodec(toWide, fromWide));

  // A byte that iconv finds cut short (EINVAL) leads a multi-byte sequence.
  codec->singleByte_ = true;
  codec->asciiCompatible_ = true;
  for (unsigned byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const char* in = &c;
    size_t inLeft = 1;
    std::u16string out(4, u'\0');
    size_t used = 0;
    const bool converted = Convert(toWide, in, inLeft, out, used);
    if (!converted && errno == EINVAL) codec->singleByte_ = false;
    if (byte < 0x80 && !(converted && used == 1 && out[0] == byte))
      codec->asciiCompatible_ = false;
    iconv(toWide, nullptr, nullptr, nullptr, nullptr);
  }
  return codec;
}

IconvCodec::IconvCodec(iconv_t toWide, iconv_t fromWide)
    : toWide_(toWide), fromWide_(fromWide) {}

IconvCodec::~IconvCodec() {
  iconv_close(toWide_);
  iconv_close(fromWide_);
}

std::u16string IconvCodec::Decode(std::string_view text) {
  if (asciiCompatible_ && IsAscii(text)) return std::u16string(text.begin(), text.end());
  std::u16string out(text.size() + 8, u'\0');
  size_t used = 0;
  const char* in = text.data();
  size_t inLeft = text.size();
  while (inLeft > 0 && !Convert(toWide_, in, inLeft, out, used)) {
    // EILSEQ, or EINVAL for a sequence cut short by the end of the text:
    // either way the byte is kept as a lone surrogate and decoding resumes
    // after it.
    if (used == out.size()) out.resize(out.size() * 2 + 16);
    out[used++] = static_cast<char16_t>(kUndecodableByteBase + static_cast<unsigned char>(*in));
    ++in;
    --inLeft;
    iconv(toWide_, nullptr, nullptr, nullptr, nullptr);
  }
  Finish(toWide_, out, used);
  out.resize(used);
  return out;
}

std::string IconvCodec::Encode(std::u16string_view text) {
  if (asciiCompatible_ && IsAscii(text)) return std::string(text.begin(), text.end());
  std::string out(text.size() + 8, '\0');
  size_t used = 0;
  const char* in = reinterpret_cast<const char*>(text.data());
  size_t inLeft = text.size() * sizeof(char16_t);
  while (inLeft > 0 && !Convert(fromWide_, in, inLeft, out, used)) {
    // A character the set cannot represent (the text is well-formed, so a
    // pair is never cut short here): '?' stands for the unit or the pair.
    if (used == out.size()) out.resize(out.size() * 2 + 16);
    out[used++] = '?';
    char16_t unit = 0;
    std::memcpy(&unit, in, sizeof unit);
    const size_t skip = (IsHighSurrogate(unit) && inLeft >= 4 ? 2 : 1) * sizeof(char16_t);
    in += skip;
    inLeft -= skip;
  }
  Finish(fromWide_, out, used);
  out.resize(used);
  return out;
}

}  // namespace platform
