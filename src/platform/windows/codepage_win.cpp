// The code page on Windows: the system's ANSI code page (CP_ACP) for file
// names and the calling thread's (CP_THREAD_ACP) for element names, converted
// by MultiByteToWideChar and WideCharToMultiByte. Conversions are exact: a
// character the code page has no byte sequence for becomes '?', never a
// similar-looking character (best fit), so that different names stay
// different.
#include <windows.h>

#include "platform/codec.h"

namespace platform {
namespace {

class WindowsCodec final : public Codec {
 public:
  explicit WindowsCodec(UINT codePage) : codePage_(codePage) {
    CPINFOEXA info{};
    if (GetCPInfoExA(codePage, 0, &info)) {
      maxCharSize_ = info.MaxCharSize;
      utf8_ = info.CodePage == CP_UTF8;
    }
  }

  std::u16string Decode(std::string_view text) override {
    std::u16string out;
    if (ToWide(text, out)) return out;
    // Some bytes do not decode: convert character by character, keeping
    // each byte that starts no valid sequence as a lone surrogate.
    out.clear();
    std::u16string piece;
    for (size_t i = 0; i < text.size();) {
      size_t length = 1;
      while (length <= maxCharSize_ && i + length <= text.size() &&
             !ToWide(text.substr(i, length), piece))
        ++length;
      if (length <= maxCharSize_ && i + length <= text.size()) {
        out += piece;
        i += length;
      } else {
        out += static_cast<char16_t>(kUndecodableByteBase + static_cast<unsigned char>(text[i]));
        ++i;
      }
    }
    return out;
  }

  std::string Encode(std::u16string_view text) override {
    // A surrogate pair outside the code page is one character, so one '?':
    // pairs are converted on their own.
    std::string out;
    size_t runStart = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
      if (!IsHighSurrogate(text[i]) || !IsLowSurrogate(text[i + 1])) continue;
      out += ToAnsi(text.substr(runStart, i - runStart));
      out += ToAnsi(text.substr(i, 2), kOneCharacter);
      runStart = i + 2;
      ++i;
    }
    out += ToAnsi(text.substr(runStart));
    return out;
  }

  bool IsSingleByte() const override { return maxCharSize_ == 1; }
  // Every ANSI code page Windows uses for file names keeps ASCII.
  bool KeepsAscii() const override { return true; }

 private:
  enum Piece { kRun, kOneCharacter };

  bool ToWide(std::string_view text, std::u16string& out) const {
    out.clear();
    if (text.empty()) return true;
    const int length = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return false;
    out.resize(static_cast<size_t>(length));
    return MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()),
                               reinterpret_cast<wchar_t*>(out.data()), length) == length;
  }

  std::string ToAnsi(std::u16string_view text, Piece piece = kRun) const {
    if (text.empty()) return {};
    // UTF-8 represents everything and refuses both the flag and a default
    // character.
    const DWORD flags = utf8_ ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = utf8_ ? nullptr : "?";
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8_ ? nullptr : &usedDefault;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(codePage_, flags, wide, wideLength, nullptr, 0,
                                           defaultChar, usedDefaultOut);
    if (length <= 0) return std::string(piece == kOneCharacter ? 1 : text.size(), '?');
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage_, flags, wide, wideLength, out.data(), length, defaultChar,
                        usedDefaultOut);
    return piece == kOneCharacter && usedDefault ? "?" : out;
  }

  UINT codePage_;
  UINT maxCharSize_ = 1;
  bool utf8_ = false;
};

}  // namespace

// The system looks its code pages up cheaply: a snapshot holds nothing.
CodePageSnapshot::CodePageSnapshot() = default;
CodePageSnapshot::~CodePageSnapshot() = default;

void UseCodec(CodePage cp, void (*use)(Codec&, void*), void* context) {
  // Cheap to make: the code page is looked up afresh, as the thread's may
  // change between calls.
  WindowsCodec codec(cp == CodePage::kAnsi ? CP_ACP : CP_THREAD_ACP);
  use(codec, context);
}

bool UseNumberedCodec(uint32_t codePage, void (*use)(Codec&, void*), void* context) {
  // UTF-16 is no multi-byte code page to MultiByteToWideChar.
  if (codePage == 1200 || codePage == 1201 || !IsValidCodePage(codePage)) return false;
  WindowsCodec codec(codePage);
  use(codec, context);
  return true;
}

char32_t LowerCaseCodePoint(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  wchar_t units[2];
  int count = 1;
  if (c < 0x10000) {
    units[0] = static_cast<wchar_t>(c);
  } else {
    units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  }
  wchar_t lower[2];
  // The invariant locale: the same mapping for every user (no Turkish
  // dotless i), as names compare the same in every interface and locale.
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, units, count, lower, 2) != count) return c;
  if (count == 1) return IsSurrogate(lower[0]) ? c : lower[0];
  return 0x10000 + ((static_cast<char32_t>(lower[0]) - 0xD800) << 10) + (lower[1] - 0xDC00);
}

}  // namespace platform
