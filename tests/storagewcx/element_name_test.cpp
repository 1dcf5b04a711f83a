// Element names as the plug-in shows them (UTF-8, whatever the code page),
// and as the 8-bit functions hand them to a host and take them back under a
// single-byte code page, UTF-8 and double-byte ones: there the results are
// those the 8-bit interface always gave.
#include "storagewcx/element_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os.h"
#include "scoped_env.h"
#include "wcx/host_strings.h"
#include "wcx/names.h"

namespace {

using storagewcx::EscapeElementName;
using storagewcx::EscapesToItself;
using storagewcx::UnescapeElementName;
using testing_support::ScopedLocale;

struct NameCase {
  std::u16string element;
  std::string host;
};

// A name under the host charset that LC_ALL names.
struct LocaleCase {
  const char* locale;
  NameCase name;
};

// On Windows the host's code page is the system's, not the locale variables'.
#ifdef _WIN32
#define SKIP_WHERE_THE_SYSTEM_SETS_THE_CODE_PAGE() GTEST_SKIP() << "the code page is the system's"
#else
#define SKIP_WHERE_THE_SYSTEM_SETS_THE_CODE_PAGE() static_cast<void>(0)
#endif

// The name an 8-bit host sees, and the element the name it sends back stands for.
std::string ShownToAnsiHost(const std::u16string& element) {
  return wcx::ToHostAnsi(EscapeElementName(element.c_str()));
}
std::u16string FromAnsiHost(const std::string& host) {
  return UnescapeElementName(wcx::FromHost(host.c_str()));
}

TEST(EscapeElementName, ShowsEveryScriptAsItself) {
  const NameCase cases[] = {
      {u"\x05SummaryInformation", "#0005SummaryInformation"},
      {u"a:b", "a#003Ab"},
      {u"50%", "50#0025"},
      {u"#1", "#00231"},
      {u"WordDocument1", "WordDocument1"},
      {u"\"*<>?|/\\:%#", "#0022#002A#003C#003E#003F#007C#002F#005C#003A#0025#0023"},
      {u"\x01\x1F \x7F", "#0001#001F \x7F"},
      {u"caf\u00E9 \u20AC", "caf\xC3\xA9 \xE2\x82\xAC"},
      {u"\u4E2D\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
      {u"\u0414\u0430\u043D\u043D\u044B\u0435",
       "\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"},
      {u"\U0001F600.txt", "\xF0\x9F\x98\x80.txt"},
      {u"\u4E2D:\u6587", "\xE4\xB8\xAD#003A\xE6\x96\x87"},
      {u"\x05\u0414", "#0005\xD0\x94"},
      // No host takes half a pair as part of a name.
      {u"a\xD800"
       "b",
       "a#D800b"},
      {u"a\xDC80", "a#DC80"},  // even one that stands for a byte
      {u"\xDE00\xD83D", "#DE00#D83D"},
      {u"x\xD83D", "x#D83D"},
      // A name a host would join onto its destination and climb out.
      {u"", "#"},
      {u".", "#002E"},
      {u"..", "#002E#002E"},
      {u"..x", "..x"},
      {u"nul.doc", platform::kWindowsFileNames ? "#006Eul.doc" : "nul.doc"},
      {u"end. ", platform::kWindowsFileNames ? "end.#0020" : "end. "},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeElementName(c.element.c_str()), c.host) << c.host;
  EXPECT_EQ(EscapeElementName(nullptr), "");
}

TEST(EscapeElementName, EightBitHostsSeeWhatTheirCodePageHolds) {
  SKIP_WHERE_THE_SYSTEM_SETS_THE_CODE_PAGE();
  const LocaleCase cases[] = {
      {"en_US.CP1252", {u"\x05SummaryInformation", "#0005SummaryInformation"}},
      {"en_US.CP1252", {u"caf\u00E9 \u20AC", "caf\xE9 \x80"}},
      {"en_US.CP1252", {u"\u4E2D", "#4E2D"}},
      {"en_US.CP1252", {u"\u0141odz", "#0141odz"}},  // no best fit
      {"en_US.CP1252", {u"\U0001F600", "#D83D#DE00"}},
      {"en_US.CP1252", {u"\x01\x1F \x7F", "#0001#001F \x7F"}},
      {"C.UTF-8", {u"\u4E2D\u6587\u6587\u6863", "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE6\xA1\xA3"}},
      {"C.UTF-8", {u"\u4E2D:\u6587", "\xE4\xB8\xAD#003A\xE6\x96\x87"}},
      {"ja_JP.SJIS", {u"\u65E5\u672C", "\x93\xFA\x96\x7B"}},
      {"ja_JP.SJIS", {u"\u30BD", "#30BD"}},  // 0x83 0x5C: a backslash byte
  };
  for (const auto& [locale, name] : cases) {
    ScopedLocale scoped(locale);
    EXPECT_EQ(ShownToAnsiHost(name.element), name.host) << locale << " " << name.host;
  }
}

TEST(UnescapeElementName, TakesEscapesAndRefusesStrayHashes) {
  const NameCase cases[] = {
      {u"\x05SummaryInformation", "#0005SummaryInformation"},
      {u"AB", "#0041#0042"},
      {u"xA", "x#0041"},
      {u"\u00E9", "#00e9"},
      {u"\u00E9", "#00E9"},
      {u"%", "%"},
      {std::u16string(1, u'\0'), "#0000"},
      {u"\xD83D\xDE00", "#D83D#DE00"},
      {u"\u4E2D:\u6587", "\xE4\xB8\xAD#003A\xE6\x96\x87"},
      {u"\u0414\U0001F600", "\xD0\x94\xF0\x9F\x98\x80"},
      {u"\xDCFF", "\xED\xB3\xBF"},  // a byte that did not decode, as it comes in
      {u"", ""},
      {u"", "#"},
      {u"Track #1", "Track #1"},
      {u"ab#", "ab#"},
      {u"#12", "#12"},
      {u"#zz12", "#zz12"},
      {u"#00#1", "#00#1"},
      {u"#00A", "#00#0041"},
      {u"a#004G", "a#004G"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeElementName(c.host), c.element) << c.host;
}

TEST(UnescapeElementName, EightBitHostNamesAreDecodedWhole) {
  SKIP_WHERE_THE_SYSTEM_SETS_THE_CODE_PAGE();
  const LocaleCase cases[] = {
      {"en_US.CP1252", {u"caf\u00E9 \u20AC", "caf\xE9 \x80"}},
      {"en_US.CP1252", {u"\u00E9", "#00E9"}},
      {"C.UTF-8", {u"\u4E2D:\u6587", "\xE4\xB8\xAD#003A\xE6\x96\x87"}},
      {"C.UTF-8", {u"\xDCFF", "\xFF"}},  // kept as the byte's surrogate
      {"zh_CN.GBK", {u"\u4E2D#", "\xD6\xD0#0023"}},
  };
  for (const auto& [locale, name] : cases) {
    ScopedLocale scoped(locale);
    EXPECT_EQ(FromAnsiHost(name.host), name.element) << locale << " " << name.host;
  }
}

TEST(ElementName, ShownNamesComeBackThroughEitherInterface) {
  const std::u16string corpus[] = {
      u"\x05SummaryInformation",
      u"\x01"
      u"CompObj",
      u"__substg1.0_0037001F",
      u"100% #1 a:b/c\\d <x>|y?*\"",
      u"caf\u00E9 \u20AC \u00FF",
      u"\u0414\u0430\u043D\u043D\u044B\u0435 \u03A9\u03BC\u03AD\u03B3\u03B1",
      u"\u4E2D\u6587 \u65E5\u672C\u8A9E \uD55C\uAD6D\uC5B4 \u30BD",
      u"\U0001F600 \U00020000 emoji",
      u"mixed \u0416 \u4E2D \U0001F600 \x07 #0041",
      u"x\xD800y\xDFFF",
      u"\xFFFF\xFFFE",
  };
  for (const auto& name : corpus) {
    const std::string shown = EscapeElementName(name.c_str());
    const std::u16string wide = wcx::ToHostWide(shown);
    EXPECT_EQ(UnescapeElementName(wcx::FromHost(reinterpret_cast<const wcx::WCHAR*>(wide.c_str()))),
              name)
        << shown;
  }
  for (const char* locale : {"C.UTF-8", "en_US.CP1252", "zh_CN.GBK", "ja_JP.SJIS"}) {
    ScopedLocale scoped(locale);
    for (const auto& name : corpus) {
      const std::string host = ShownToAnsiHost(name);
      SCOPED_TRACE(std::string(locale) + ": " + host);
      EXPECT_EQ(FromAnsiHost(host), name);
      // Outside its escapes, a name an 8-bit host sees holds no control
      // character and nothing of the escape set, in any byte.
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

// The shortcut past the round trip holds exactly where the round trip
// gives the name back: every one- and two-byte ASCII name, and the names
// with a reserved part or an escape.
TEST(ElementName, NamesThatEscapeToThemselvesAreKnownWithoutTheRoundTrip) {
  std::vector<std::string> names{"",     ".",       "..",         "...",   "a.",    "a ",   "CON",
                                 "con.txt", "COM1", "#0041",   "a#b",        "%41",   "x/y",   "report.doc",
                                 "\xC3\x84", std::string(40, 'n')};
  for (int a = 0; a < 0x80; ++a) {
    names.push_back(std::string(1, static_cast<char>(a)));
    for (int b = 0x20; b < 0x80; b += 7) names.push_back(std::string{static_cast<char>(a), static_cast<char>(b)});
  }
  for (const std::string& name : names) {
    const bool roundTrip = EscapeElementName(UnescapeElementName(name).c_str()) == name;
    if (EscapesToItself(name)) {
      EXPECT_TRUE(roundTrip) << name;
    } else {
      bool plain = !name.empty();
      for (char c : name) plain &= static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x80;
      // Only names outside plain ASCII, or with something to escape, take the long way.
      EXPECT_TRUE(!plain || name.find_first_of("\"*<>?|/\\:%#") != std::string::npos ||
                  wcx::FindReservedParts(std::string_view(name)).Any())
          << name;
    }
  }
}

}  // namespace
