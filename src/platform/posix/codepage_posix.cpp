// The code page on POSIX. Both ANSI code pages of the host are the locale's
// charset (LC_ALL, else LC_CTYPE, else LANG), looked up on every call because
// the host may change the variables while the library is loaded (within one
// call from the host a CodePageSnapshot holds it). UTF-8 is converted here
// directly; other charsets go through iconv.
#include <locale.h>

#include <cwctype>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/codec.h"
#include "platform/posix/iconv_codec_posix.h"
#include "platform/posix/locale_charset_posix.h"
#include "platform/utf8_codec.h"

namespace platform {
namespace {

Utf8Codec& Utf8() {
  static Utf8Codec codec;
  return codec;
}

// An iconv descriptor is costly to open and may serve one thread at a time,
// so each charset is opened once for the process and used under a lock. (A
// thread_local cache would keep the library loaded after dlclose: glibc does
// not unload a library while threads hold thread-local objects with
// destructors from it, and the unload report would never run.)
class IconvCodecCache {
 public:
  // Calls use(codec, context) with the charset's codec; false when iconv
  // does not know the charset.
  bool Use(const std::string& charset, void (*use)(Codec&, void*), void* context) {
    std::lock_guard lock(mutex_);
    auto [entry, inserted] = codecs_.try_emplace(charset);
    if (inserted) entry->second = IconvCodec::Open(charset);
    if (!entry->second) return false;
    use(*entry->second, context);
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::unique_ptr<IconvCodec>> codecs_;
};

IconvCodecCache& Codecs() {
  static IconvCodecCache cache;
  return cache;
}

// iconv's names for the Windows code pages that documents name; a table, so
// that numbers read from a file open no more than these charsets.
constexpr uint16_t kNamedAsCp[] = {437,  737,  775,  850,  852,  855,  857,  860,  861, 862,
                                   863,  864,  865,  866,  869,  874,  932,  936,  949, 950,
                                   1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr std::pair<uint16_t, const char*> kNamedOtherwise[] = {
    {10000, "MACINTOSH"},  {20127, "ASCII"},       {20866, "KOI8-R"},      {21866, "KOI8-U"},
    {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {50220, "ISO-2022-JP"},
    {51932, "EUC-JP"},     {51936, "EUC-CN"},      {51949, "EUC-KR"},      {54936, "GB18030"},
    {65000, "UTF-7"},
};

std::optional<std::string> CharsetOfCodePage(uint32_t codePage) {
  for (uint16_t number : kNamedAsCp)
    if (number == codePage) return "CP" + std::to_string(codePage);
  for (const auto& [number, charset] : kNamedOtherwise)
    if (number == codePage) return charset;
  return std::nullopt;
}

// The innermost snapshot alive on this thread. A plain pointer: a
// thread-local object with a destructor would keep the library loaded after
// dlclose, as above.
thread_local const CodePageSnapshot* tSnapshot = nullptr;

}  // namespace

CodePageSnapshot::CodePageSnapshot() : charset_(LocaleCharset()), outer_(tSnapshot) {
  tSnapshot = this;
}

CodePageSnapshot::~CodePageSnapshot() { tSnapshot = outer_; }

void UseCodec(CodePage, void (*use)(Codec&, void*), void* context) {
  std::string current;
  const std::string& charset = tSnapshot ? tSnapshot->Charset() : (current = LocaleCharset());
  if (charset.empty()) return use(Utf8(), context);
  // A charset that iconv does not know is taken as UTF-8.
  if (!Codecs().Use(charset, use, context)) use(Utf8(), context);
}

bool UseNumberedCodec(uint32_t codePage, void (*use)(Codec&, void*), void* context) {
  if (codePage == 65001) {
    use(Utf8(), context);
    return true;
  }
  const auto charset = CharsetOfCodePage(codePage);
  return charset && Codecs().Use(*charset, use, context);
}

// Unicode's simple lower-case mapping, whatever the process's locale is.
char32_t LowerCaseCodePoint(char32_t c) {
  struct UnicodeLocale {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    ~UnicodeLocale() {
      if (locale != locale_t{}) freelocale(locale);
    }
  };
  static const UnicodeLocale unicode;
  if (c < 0x80 || unicode.locale == locale_t{}) return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), unicode.locale));
}

}  // namespace platform
