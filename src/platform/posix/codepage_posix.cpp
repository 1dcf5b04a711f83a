// The code page on POSIX. Both ANSI code pages of the host are the locale's
// charset (LC_ALL, else LC_CTYPE, else LANG), looked up on every call because
// the host may change the variables while the library is loaded (within one
// call from the host a CodePageSnapshot holds it). UTF-8 is converted here
// directly; other charsets go through iconv.
#include <locale.h>

#include <cwctype>
#include <memory>
#include <mutex>
#include <string>
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
// that numbers read from a file open no more than these.
const char* CharsetOfCodePage(uint32_t codePage) {
  switch (codePage) {
    case 437: case 737: case 775: case 850: case 852: case 855: case 857: case 860:
    case 861: case 862: case 863: case 864: case 865: case 866: case 869: case 874:
    case 932: case 936: case 949: case 950: case 1250: case 1251: case 1252: case 1253:
    case 1254: case 1255: case 1256: case 1257: case 1258:
      return nullptr;  // "CP" and the number
    case 10000: return "MACINTOSH";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    case 50220: return "ISO-2022-JP";
    case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    default: return "";
  }
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
  const char* name = CharsetOfCodePage(codePage);
  if (name && !*name) return false;
  return Codecs().Use(name ? name : "CP" + std::to_string(codePage), use, context);
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
