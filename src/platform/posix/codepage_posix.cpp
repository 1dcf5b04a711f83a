// The code page on POSIX. Both ANSI code pages of the host are the locale's
// charset (LC_ALL, else LC_CTYPE, else LANG), looked up on every call because
// the host may change the variables while the library is loaded (within one
// call from the host a CodePageSnapshot holds it). UTF-8 is converted here
// directly; other charsets go through iconv.
#include <locale.h>

#include <cwctype>
#include <memory>
#include <mutex>
#include <unordered_map>

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
  void Use(const std::string& charset, void (*use)(Codec&, void*), void* context) {
    std::lock_guard lock(mutex_);
    auto [entry, inserted] = codecs_.try_emplace(charset);
    if (inserted) entry->second = IconvCodec::Open(charset);
    // A charset that iconv does not know is taken as UTF-8.
    if (entry->second)
      use(*entry->second, context);
    else
      use(Utf8(), context);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::unique_ptr<IconvCodec>> codecs_;
};

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
  static IconvCodecCache cache;
  cache.Use(charset, use, context);
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
