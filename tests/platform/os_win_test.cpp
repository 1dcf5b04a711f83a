// The Windows side of os.h, under Wine: conversions in the thread's ANSI code
// page (switched through the thread locale), and what extraction does to a
// file's times.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"
#include "temp_dir.h"

namespace {

constexpr platform::CodePage kThreadAnsi = platform::CodePage::kThreadAnsi;

// The calling thread's ANSI code page set through its locale.
class ScopedThreadLocale {
 public:
  explicit ScopedThreadLocale(LCID locale) : saved_(GetThreadLocale()) { SetThreadLocale(locale); }
  ~ScopedThreadLocale() { SetThreadLocale(saved_); }
  ScopedThreadLocale(const ScopedThreadLocale&) = delete;
  ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

 private:
  LCID saved_;
};

const LCID kEnglish = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);  // 1252
const LCID kJapanese =
    MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);  // 932

TEST(WindowsCodePage, ConvertsExactlyOrGivesAQuestionMark) {
  ScopedThreadLocale locale(kEnglish);
  ASSERT_TRUE(platform::IsSingleByteCodePage(kThreadAnsi));
  using Bytes = std::vector<std::optional<std::string>>;
  Bytes exact;
  // The system would best-fit L-stroke to "L" and the Kelvin sign to "K".
  for (const auto& character :
       platform::WideCharsToAnsiExact(u"\u00E9\u20AC\u0141\u212A\U0001F600", kThreadAnsi))
    exact.push_back(character.bytes);
  EXPECT_EQ(exact, (Bytes{"\xE9", "\x80", std::nullopt, std::nullopt, std::nullopt}));
  EXPECT_EQ(platform::WideToAnsi(u"a\u0141\U0001F600b", kThreadAnsi), "a??b") << "one mark a pair";
  EXPECT_EQ(platform::WideToAnsi(u"\xDC81", kThreadAnsi), "\x81") << "a byte kept as a surrogate";
}

TEST(WindowsCodePage, KeepsUndecodableBytesOfADoubleByteCodePage) {
  ScopedThreadLocale locale(kJapanese);
  ASSERT_FALSE(platform::IsSingleByteCodePage(kThreadAnsi));
  const struct {
    std::string ansi;
    std::u16string wide;
  } cases[] = {
      {"\x83\x5C", u"\u30BD"},              // the trail byte is a backslash
      {"x\x83", u"x\xDC83"},                // a lead byte at the end
      {"\x83 \x83\x5C", u"\xDC83 \u30BD"},  // a lead byte without a valid trail byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::AnsiToWide(c.ansi, kThreadAnsi), c.wide);
    EXPECT_EQ(platform::WideToAnsi(c.wide, kThreadAnsi), c.ansi);
  }
}

TEST(WindowsFiles, AnExtractedFileKeepsItsLastWriteTime) {
  testing_support::TempDir dir;
  const std::string path = dir.Write("f.txt", "data");
  const FILETIME entryTime = platform::UInt64ToFileTime(126'256'467'060'000'000);  // 2001
  const std::optional<platform::FileStamp> before = platform::GetFileStamp(path);
  ASSERT_TRUE(platform::SetExtractedFileTime(path, entryTime));
  EXPECT_EQ(platform::GetFileStamp(path), before) << "only the creation time is set";
  EXPECT_FALSE(platform::SetExtractedFileTime(dir / "missing", entryTime));
}

TEST(WindowsFiles, TheLibraryIsTheModuleTheCodeIsIn) {
  EXPECT_TRUE(platform::LibraryFileName().ends_with("platform_win_test.exe"))
      << platform::LibraryFileName();
}

}  // namespace
