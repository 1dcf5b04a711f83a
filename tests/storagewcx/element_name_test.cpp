// Element names shown to the host, under a single-byte code page (where the
// results are those of the classic byte-per-character walk), under UTF-8 and
// under a double-byte code page.
#include "storagewcx/element_name.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os.h"
#include "scoped_env.h"

namespace {

using storagewcx::EscapeElementName;
using storagewcx::UnescapeElementName;
using testing_support::ScopedLocale;

struct NameCase {
  std::u16string element;
  std::string host;
};

void ExpectEscapes(const char* locale, std::initializer_list<NameCase> cases) {
  ScopedLocale scoped(locale);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(EscapeElementName(c.element.c_str()), c.host);
  }
}

void ExpectUnescapes(const char* locale, std::initializer_list<NameCase> cases) {
  ScopedLocale scoped(locale);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(UnescapeElementName(c.host), c.element);
  }
}

TEST(EscapeElementName, UnderASingleByteCodePage) {
  ExpectEscapes("en_US.CP1252",
                {
                    {u"\x05SummaryInformation", "#0005SummaryInformation"},
                    {u"a:b", "a#003Ab"},
                    {u"50%", "50#0025"},
                    {u"#1", "#00231"},
                    {u"WordDocument1", "WordDocument1"},
                    {u"\"*<>?|/\\:%#", "#0022#002A#003C#003E#003F#007C#002F#005C#003A#0025#0023"},
                    {u"\x01\x1F \x7F", "#0001#001F \x7F"},
                    {u"caf\u00E9 \u20AC", "caf\xE9 \x80"},
                    {u"\u4E2D", "#4E2D"},
                    {u"\u0141odz", "#0141odz"},  // no best fit
                    {u"\U0001F600", "#D83D#DE00"},
                    // A name a host would join onto its destination and climb out.
                    {u"", "#"},
                    {u".", "#002E"},
                    {u"..", "#002E#002E"},
                    {u"..x", "..x"},
                    {u"nul.doc", platform::kWindowsFileNames ? "#006Eul.doc" : "nul.doc"},
                    {u"end. ", platform::kWindowsFileNames ? "end.#0020" : "end. "},
                });
  EXPECT_EQ(EscapeElementName(nullptr), "");
}

TEST(EscapeElementName, UnderUtf8ShowsEveryScriptAsItself) {
  ExpectEscapes(
      "C.UTF-8",
      {
          {u"\u4E2D\u6587\u6587\u6863", "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE6\xA1\xA3"},
          {u"\u0414\u0430\u043D\u043D\u044B\u0435",
           "\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"},
          {u"\U0001F600.txt", "\xF0\x9F\x98\x80.txt"},
          {u"\u4E2D:\u6587", "\xE4\xB8\xAD#003A\xE6\x96\x87"},
          {u"\x05"
           u"\u0414",
           "#0005\xD0\x94"},
          {u"a\xD800"
           "b",
           "a#D800b"},                      // lone high surrogate
          {u"a\xDC80", "a#DC80"},           // lone low one, even one that stands for a byte
          {u"\xDE00\xD83D", "#DE00#D83D"},  // a pair in the wrong order
          {u"x\xD83D", "x#D83D"},           // high surrogate right before the end
      });
}

TEST(EscapeElementName, UnderADoubleByteCodePageEscapesTrailBytesOfTheEscapeSet) {
  ExpectEscapes("ja_JP.SJIS", {
                                  {u"\u65E5\u672C", "\x93\xFA\x96\x7B"},
                                  {u"\u30BD", "#30BD"},  // 0x83 0x5C: a backslash byte
                              });
}

TEST(UnescapeElementName, UnderASingleByteCodePage) {
  ExpectUnescapes("en_US.CP1252", {
                                      {u"\x05SummaryInformation", "#0005SummaryInformation"},
                                      {u"AB", "#0041#0042"},
                                      {u"xA", "x#0041"},
                                      {u"\u00E9", "#00e9"},
                                      {u"\u00E9", "#00E9"},
                                      {u"caf\u00E9 \u20AC", "caf\xE9 \x80"},
                                      {u"%", "%"},
                                      {std::u16string(1, u'\0'), "#0000"},
                                      {u"\xD83D\xDE00", "#D83D#DE00"},
                                      {u"", ""},
                                      {u"", "Track #1"},
                                      {u"", "ab#"},
                                      {u"", "#12"},
                                      {u"", "#zz12"},
                                      {u"", "#00#1"},
                                      {u"", "#123"},
                                      {u"", "a#004G"},
                                  });
}

TEST(UnescapeElementName, UnderMultiByteCodePagesConvertsCharactersWhole) {
  ExpectUnescapes("C.UTF-8", {
                                 {u"\u4E2D:\u6587", "\xE4\xB8\xAD#003A\xE6\x96\x87"},
                                 {u"\u0414\U0001F600", "\xD0\x94\xF0\x9F\x98\x80"},
                                 {u"\xDCFF", "\xFF"},  // kept as the byte's surrogate
                             });
  ExpectUnescapes("zh_CN.GBK", {{u"\u4E2D#", "\xD6\xD0#0023"}});
}

TEST(ElementName, EscapedNamesUnescapeToTheElementName) {
  const std::u16string corpus[] = {
      u"\x05SummaryInformation",
      u"\x05"
      u"DocumentSummaryInformation",
      u"\x01"
      u"CompObj",
      u"__substg1.0_0037001F",
      u"WordDocument",
      u"100% #1 a:b/c\\d <x>|y?*\"",
      u"caf\u00E9 \u20AC \u00FF",
      u"\u0414\u0430\u043D\u043D\u044B\u0435 \u03A9\u03BC\u03AD\u03B3\u03B1",
      u"\u4E2D\u6587 \u65E5\u672C\u8A9E \uD55C\uAD6D\uC5B4",
      u"\U0001F600 \U00020000 emoji",
      u"mixed \u0416 \u4E2D \U0001F600 \x07 #0041",
      u"x\xD800y\xDFFF",
      u"\xFFFF\xFFFE",
  };
  for (const char* locale : {"C.UTF-8", "en_US.CP1252", "zh_CN.GBK", "ja_JP.SJIS"}) {
    ScopedLocale scoped(locale);
    for (const auto& name : corpus) {
      const std::string host = EscapeElementName(name.c_str());
      SCOPED_TRACE(std::string(locale) + ": " + host);
      EXPECT_EQ(UnescapeElementName(host), name);
      // Outside its escapes, a shown name holds no control character and
      // nothing of the escape set.
      for (size_t i = 0; i < host.size(); ++i) {
        if (host[i] == '#') {
          i += 4;
          continue;
        }
        EXPECT_GE(static_cast<unsigned char>(host[i]), 32u);
        EXPECT_EQ(std::string_view("\"*<>?|/\\:%").find(host[i]), std::string_view::npos);
      }
    }
  }
}

}  // namespace
