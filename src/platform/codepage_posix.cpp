// Code-page conversion on POSIX. Both ANSI code pages of the host are the
// locale's charset (LC_ALL, else LC_CTYPE, else LANG), looked up on every
// call because the host may change the variables while the library is
// loaded. UTF-8 is converted here directly; other charsets go through iconv.
#include <locale.h>

#include <cwctype>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/iconv_codec_posix.h"
#include "platform/locale_charset_posix.h"
#include "platform/os.h"
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
  template <typename Fn>
  auto With(const std::string& charset, Fn&& fn) {
    std::lock_guard lock(mutex_);
    auto [entry, inserted] = codecs_.try_emplace(charset);
    if (inserted) entry->second = IconvCodec::Open(charset);
    // A charset that iconv does not know is taken as UTF-8.
    return entry->second ? fn(static_cast<Codec&>(*entry->second)) : fn(static_cast<Codec&>(Utf8()));
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::unique_ptr<IconvCodec>> codecs_;
};

// The innermost snapshot alive on this thread. A plain pointer: a
// thread-local object with a destructor would keep the library loaded after
// dlclose, as above.
thread_local const CodePageSnapshot* tSnapshot = nullptr;

// Calls fn with the codec of the locale's charset; fn must not call back
// into this file's public functions.
template <typename Fn>
auto WithCodec(CodePage, Fn&& fn) {
  std::string current;
  const std::string& charset = tSnapshot ? tSnapshot->Charset() : (current = LocaleCharset());
  if (charset.empty()) return fn(static_cast<Codec&>(Utf8()));
  static IconvCodecCache cache;
  return cache.With(charset, fn);
}

// Encodes any UTF-16 text: runs of well-formed text go to the codec, lone
// surrogates U+DC80..U+DCFF give back the byte they stand for, other lone
// surrogates give '?'.
std::string EncodeKeepingBytes(Codec& codec, std::u16string_view text) {
  std::string out;
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsSurrogate(text[i])) continue;
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    out += codec.Encode(text.substr(runStart, i - runStart));
    const char16_t unit = text[i];
    out += unit >= kUndecodableByteBase + 0x80 && unit <= kUndecodableByteBase + 0xFF
               ? static_cast<char>(unit - kUndecodableByteBase)
               : '?';
    runStart = i + 1;
  }
  out += codec.Encode(text.substr(runStart));
  return out;
}

bool IsOneCharacter(std::u16string_view text) {
  if (text.size() == 1) return !IsSurrogate(text[0]);
  return text.size() == 2 && IsHighSurrogate(text[0]) && IsLowSurrogate(text[1]);
}

std::optional<std::string> EncodeExact(Codec& codec, std::u16string_view character) {
  std::string bytes = codec.Encode(character);
  if (codec.Decode(bytes) != character) return std::nullopt;
  return bytes;
}

// Calls visit(units, exact bytes or nullopt) for each character of the text
// in turn, as long as visit returns true; false when it stopped early.
template <typename Visit>
bool ForEachCharacter(Codec& codec, std::u16string_view text, Visit&& visit) {
  for (size_t i = 0; i < text.size();) {
    // Names are mostly ASCII: a round trip through the codec would only
    // confirm what KeepsAscii says.
    if (text[i] < 0x80 && codec.KeepsAscii()) {
      if (!visit(1, std::string(1, static_cast<char>(text[i])))) return false;
      ++i;
      continue;
    }
    const size_t units =
        i + 1 < text.size() && IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1]) ? 2 : 1;
    const std::u16string_view character = text.substr(i, units);
    if (!visit(units, IsOneCharacter(character) ? EncodeExact(codec, character) : std::nullopt))
      return false;
    i += units;
  }
  return true;
}

void AppendCodePoint(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

// Unicode's simple lower-case mapping, whatever the process's locale is.
char32_t ToLower(char32_t c) {
  struct UnicodeLocale {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    ~UnicodeLocale() {
      if (locale != locale_t{}) freelocale(locale);
    }
  };
  static const UnicodeLocale unicode;
  if (c < 0x80 || unicode.locale == locale_t{})
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), unicode.locale));
}

std::string AsciiLowerCase(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

CodePageSnapshot::CodePageSnapshot() : charset_(LocaleCharset()), outer_(tSnapshot) {
  tSnapshot = this;
}

CodePageSnapshot::~CodePageSnapshot() { tSnapshot = outer_; }

std::u16string AnsiToWide(std::string_view text, CodePage cp) {
  return WithCodec(cp, [&](Codec& codec) { return codec.Decode(text); });
}

std::string WideToAnsi(std::u16string_view text, CodePage cp) {
  return WithCodec(cp, [&](Codec& codec) { return EncodeKeepingBytes(codec, text); });
}

std::vector<AnsiCharacter> WideCharsToAnsiExact(std::u16string_view text, CodePage cp) {
  // One codec for the whole text: looking the charset up is the costly part.
  return WithCodec(cp, [&](Codec& codec) {
    std::vector<AnsiCharacter> characters;
    characters.reserve(text.size());
    ForEachCharacter(codec, text, [&](size_t units, std::optional<std::string> bytes) {
      characters.push_back({units, std::move(bytes)});
      return true;
    });
    return characters;
  });
}

std::optional<std::string> WideToAnsiExact(std::u16string_view text, CodePage cp) {
  return WithCodec(cp, [&](Codec& codec) -> std::optional<std::string> {
    if (codec.KeepsAscii() && IsAscii(text)) return std::string(text.begin(), text.end());
    std::string out;
    out.reserve(text.size());
    const bool exact = ForEachCharacter(codec, text, [&](size_t, std::optional<std::string> bytes) {
      if (bytes) out += *bytes;
      return bytes.has_value();
    });
    if (!exact) return std::nullopt;
    return out;
  });
}

bool IsSingleByteCodePage(CodePage cp) {
  return WithCodec(cp, [](Codec& codec) { return codec.IsSingleByte(); });
}

std::string LowerCaseFileName(std::string_view name) {
  // Letters A to Z are themselves in every charset a locale can name.
  if (IsAscii(name)) return AsciiLowerCase(name);
  return WithCodec(CodePage::kAnsi, [&](Codec& codec) {
    const std::u16string wide = codec.Decode(name);
    std::u16string lowered;
    lowered.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
      const size_t length =
          IsHighSurrogate(wide[i]) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1]) ? 2 : 1;
      const std::u16string_view character(wide.data() + i, length);
      i += length - 1;
      if (!IsOneCharacter(character)) {  // a byte that did not decode
        lowered += character;
        continue;
      }
      const char32_t c = length == 1 ? character[0]
                                     : 0x10000 + ((character[0] - 0xD800) << 10) +
                                           (character[1] - 0xDC00);
      std::u16string lower;
      AppendCodePoint(lower, ToLower(c));
      // A lower-case form the charset cannot hold would turn into '?' and
      // make different names compare equal: such a character stays as it is.
      lowered += lower == character || !EncodeExact(codec, lower) ? character : lower;
    }
    return EncodeKeepingBytes(codec, lowered);
  });
}

}  // namespace platform
