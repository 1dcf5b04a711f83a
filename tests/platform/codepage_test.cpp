// The 8-bit code page on POSIX is the charset of the locale variables. These
// tests select it through the variables, as a host's environment would.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/os.h"
#include "platform/unicode.h"
#include "scoped_env.h"
#include "temp_dir.h"

namespace {

using platform::CodePage;
using testing_support::ScopedEnv;
using testing_support::ScopedLocale;

constexpr CodePage kAnsi = CodePage::kAnsi;

TEST(CodePageSelection, FollowsLcAllThenLcCtypeThenLang) {
  const struct {
    const char *lcAll, *lcCtype, *lang;
    const char* eAcute;  // how U+00E9 comes out
    bool singleByte;
  } cases[] = {
      {nullptr, nullptr, nullptr, "\xC3\xA9", false},
      {nullptr, nullptr, "en_US.CP1252", "\xE9", true},
      {nullptr, "de_DE.utf8", "en_US.CP1252", "\xC3\xA9", false},
      {"en_US.CP1252", "de_DE.UTF-8", "de_DE.UTF-8", "\xE9", true},
      {"", "", "en_US.CP1252", "\xE9", true},  // empty counts as unset
      {"C", nullptr, "en_US.CP1252", "\xC3\xA9", false},
      {"POSIX", nullptr, nullptr, "\xC3\xA9", false},
      {"en_US", nullptr, nullptr, "\xC3\xA9", false},  // no charset named
      {"sr_RS.ISO-8859-2@latin", nullptr, nullptr, "\xE9", true},
      {"zh_CN.GBK", nullptr, nullptr, "\xA8\xA6", false},
      {"xx_XX.NO-SUCH-CHARSET", nullptr, nullptr, "\xC3\xA9", false},
      {"en_US.CP1252//TRANSLIT", nullptr, nullptr, "\xC3\xA9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "-") + " " + (c.lcCtype ? c.lcCtype : "-") +
                 " " + (c.lang ? c.lang : "-"));
    ScopedEnv all("LC_ALL", c.lcAll), ctype("LC_CTYPE", c.lcCtype), lang("LANG", c.lang);
    EXPECT_EQ(platform::WideToAnsi(u"\u00E9", kAnsi), c.eAcute);
    EXPECT_EQ(platform::AnsiToWide(c.eAcute, kAnsi), u"\u00E9");
    EXPECT_EQ(platform::IsSingleByteCodePage(kAnsi), c.singleByte);
    EXPECT_EQ(platform::IsSingleByteCodePage(CodePage::kThreadAnsi), c.singleByte);
  }
}

struct ConversionCase {
  const char* locale;
  std::string ansi;
  std::u16string wide;
};

TEST(AnsiToWide, KeepsUndecodableBytesAsLoneSurrogatesThatConvertBack) {
  const ConversionCase cases[] = {
      {"C.UTF-8", "plain", u"plain"},
      {"C.UTF-8", "\xE4\xB8\xAD\xD0\x96\xF0\x9F\x98\x80", u"\u4E2D\u0416\U0001F600"},
      {"C.UTF-8", "a\xFF" "b", u"a\xDCFF" "b"},
      {"C.UTF-8", "\xC0\xAF", u"\xDCC0\xDCAF"},          // overlong '/'
      {"C.UTF-8", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},  // an encoded surrogate
      {"C.UTF-8", "\xE4\xB8", u"\xDCE4\xDCB8"},          // cut short
      {"en_US.CP1252", "\x80\xE9", u"\u20AC\u00E9"},
      {"en_US.CP1252", "a\x81" "b", u"a\xDC81" "b"},  // unassigned in CP1252
      {"zh_CN.GBK", "\xD6\xD0\xCE\xC4", u"\u4E2D\u6587"},
      {"zh_CN.GBK", "x\xD6", u"x\xDCD6"},  // lead byte at the end
      {"zh_CN.GBK", "\xD6\xD0\xFF\xD6\xD0", u"\u4E2D\xDCFF\u4E2D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.ansi);
    ScopedLocale locale(c.locale);
    EXPECT_EQ(platform::AnsiToWide(c.ansi, kAnsi), c.wide);
    EXPECT_EQ(platform::WideToAnsi(c.wide, kAnsi), c.ansi);
  }
}

TEST(WideToAnsi, GivesAQuestionMarkForWhatTheCodePageCannotHold) {
  const ConversionCase cases[] = {
      {"en_US.CP1252", "a?b", u"a\u4E2Db"},
      {"en_US.CP1252", "?", u"\U0001F600"},  // one mark for a pair
      {"en_US.CP1252", "?x?", u"\xD800x\xDC00"},  // lone surrogates outside DC80..DCFF
      {"C.UTF-8", "?x?", u"\xD800x\xDC7F"},
      {"zh_CN.GBK", "\xD6\xD0??", u"\u4E2D\u0E01\U0001F600"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    ScopedLocale locale(c.locale);
    EXPECT_EQ(platform::WideToAnsi(c.wide, kAnsi), c.ansi);
  }
}

TEST(WideCharsToAnsiExact, ConvertsEachCharacterOrNothing) {
  using Bytes = std::vector<std::optional<std::string>>;
  const auto none = std::nullopt;
  const struct {
    const char* locale;
    std::u16string text;
    Bytes ansi;
  } cases[] = {
      {"C.UTF-8", u"A\u4E2D\U0001F600", {"A", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"}},
      {"C.UTF-8", u"\xD83D", {none}},
      {"C.UTF-8", u"\xDC80", {none}},  // even one that stands for a byte
      {"C.UTF-8", u"\xDE00\xD83D", {none, none}},
      {"C.UTF-8", u"", {}},
      {"en_US.CP1252", u"?\u00E9\u20AC", {"?", "\xE9", "\x80"}},
      {"en_US.CP1252", u"\u4E2D\u0141", {none, none}},  // no best fit ("L")
      {"en_US.CP1252", u"\U0001F600", {none}},
      {"zh_CN.GBK", u"\u4E2D", {"\xD6\xD0"}},
      {"ja_JP.SJIS", u"\u30BD", {"\x83\x5C"}},       // trail byte is a backslash
      {"xx_XX.EBCDIC-US", u"A?", {"\xC1", "\x6F"}},  // ASCII that is not its own byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    ScopedLocale locale(c.locale);
    Bytes ansi;
    size_t units = 0;
    for (const auto& character : platform::WideCharsToAnsiExact(c.text, kAnsi)) {
      ansi.push_back(character.bytes);
      units += character.units;
    }
    EXPECT_EQ(ansi, c.ansi);
    EXPECT_EQ(units, c.text.size());
    // The whole-text form is the characters' bytes joined, or nothing.
    std::optional<std::string> joined = "";
    for (const auto& bytes : c.ansi)
      joined = bytes && joined ? std::optional(*joined + *bytes) : std::nullopt;
    EXPECT_EQ(platform::WideToAnsiExact(c.text, kAnsi), joined);
  }
}

TEST(CodePageSnapshot, HoldsTheCharsetOnlyWhileItLives) {
  ScopedLocale utf8("C.UTF-8");
  {
    const platform::CodePageSnapshot snapshot;
    ScopedLocale cp1252("en_US.CP1252");
    EXPECT_EQ(platform::WideToAnsi(u"\u00E9", kAnsi), "\xC3\xA9");
  }
  ScopedLocale cp1252("en_US.CP1252");
  EXPECT_EQ(platform::WideToAnsi(u"\u00E9", kAnsi), "\xE9");
}

TEST(LowerCaseFileName, UsesUnicodeSimpleMappingWhateverTheLocale) {
  const struct {
    std::string name, lower;
  } cases[] = {
      {"ReadMe.TXT", "readme.txt"},
      {"\xC3\x84\xC3\x96\xC3\x9C", "\xC3\xA4\xC3\xB6\xC3\xBC"},  // ÄÖÜ
      {"\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x83"},  // ΣΑΣ, no final sigma
      {"\xD0\x94\xD0\x90", "\xD0\xB4\xD0\xB0"},                  // ДА
      {"Stra\xC3\x9F" "E", "stra\xC3\x9F" "e"},                  // ß stays
      {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},                  // Deseret, a pair
      {"I\xC4\xB0", "i" "i"},                                      // no Turkish rules
      {"A\xFF\xC3", "a\xFF\xC3"},                                // undecodable kept
      {"B\xED\xA0\x80", "b\xED\xA0\x80"},                        // a lone surrogate kept
  };
  for (const char* locale : {"C.UTF-8", "en_US.CP1252", "tr_TR.ISO-8859-9"}) {
    ScopedLocale scoped(locale);
    for (const auto& c : cases) EXPECT_EQ(platform::LowerCaseFileName(c.name), c.lower) << locale;
  }
}

TEST(Unicode, AnyUtf16SurvivesUtf8) {
  const std::u16string texts[] = {u"plain", u"\u4E2D\u0416\U0001F600", u"a\xD800" "b",
                                  u"\xDC80\xDE00\xD83D", u"x\xD83D", u""};
  for (const auto& text : texts) EXPECT_EQ(platform::Utf8ToUtf16(platform::Utf16ToUtf8(text)), text);
  EXPECT_EQ(platform::Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80") << "a pair is one character";
  // Bytes from outside that do not decode become the surrogates standing
  // for them, as the code pages keep them.
  EXPECT_EQ(platform::Utf8ToUtf16("a\xFF\xC0\xAF"), u"a\xDCFF\xDCC0\xDCAF");
}

// A document's own code page, whatever the locale's is.
TEST(NumberedCodePage, DecodesWhateverTheLocale) {
  ScopedLocale utf8Locale("C.UTF-8");
  EXPECT_EQ(platform::NumberedCodePageToWide("caf\xE9", 1252), u"caf\u00E9");
  EXPECT_EQ(platform::NumberedCodePageToWide("\xCF\xF0\xE8", 1251), u"\u041F\u0440\u0438");
  EXPECT_EQ(platform::NumberedCodePageToWide("\x82\xA0", 932), u"\u3042");
  EXPECT_EQ(platform::NumberedCodePageToWide("\xC3\xA9\xFF", 65001), u"\u00E9\xDCFF");
  EXPECT_EQ(platform::NumberedCodePageToWide("\xE9", 28605), u"\u00E9");
  for (uint32_t unknown : {0u, 1u, 1200u, 12345u, 0xFFFFFFFFu})
    EXPECT_EQ(platform::NumberedCodePageToWide("x", unknown), std::nullopt) << unknown;
}

// The platform's file functions take UTF-8 and name files in the locale's
// charset: a byte that did not decode reaches the disk as itself.
TEST(SystemPaths, AreInTheLocalesCharset) {
  testing_support::TempDir dir;
  ScopedLocale western("en_US.CP1252");
  const std::string utf8 = dir.Slash() + "caf\u00E9 \xED\xB2\x81";  // é and the byte 0x81
  ASSERT_TRUE(platform::CreateDir(utf8));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "caf\xE9 \x81"));
  EXPECT_TRUE(platform::DirectoryExists(utf8));
  ScopedLocale utf8Locale("C.UTF-8");
  EXPECT_FALSE(platform::DirectoryExists(utf8)) << "the same name is other bytes in UTF-8";
  EXPECT_TRUE(platform::CreateDir(dir.Slash() + "\u4E2D"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "\xE4\xB8\xAD"));
}

}  // namespace
