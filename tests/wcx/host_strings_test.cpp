// The edge between the host's strings and the plug-in's UTF-8: what the
// 8-bit functions take and give in a code page, the UTF-16 of the W
// functions, file lists, and the header fields that names are cut to.
#include "wcx/host_strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "scoped_env.h"

namespace wcx {
namespace {

using testing_support::ScopedLocale;

const WCHAR* W(const std::u16string& text) { return reinterpret_cast<const WCHAR*>(text.c_str()); }

TEST(HostStrings, EightBitTextComesInExactlyAndGoesOutEscaped) {
  ScopedLocale western("en_US.CP1252");
  EXPECT_EQ(FromHost("caf\xE9 \x80"), "caf\u00E9 \u20AC");
  // 0x81 means nothing in Windows-1252: its stand-in survives the way in
  // and out (the platform gives the system the byte back).
  EXPECT_EQ(FromHost("a\x81"), "a\xED\xB2\x81");
  EXPECT_EQ(FromHost(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(ToHostAnsi("caf\u00E9/\u4E2D\U0001F600 #0041"), "caf\xE9/#4E2D#D83D#DE00 #0041");
  ScopedLocale japanese("ja_JP.SJIS");
  EXPECT_EQ(ToHostAnsi("\u65E5\u30BD"), "\x93\xFA#30BD") << "a trail byte that reads as '\\'";
}

TEST(HostStrings, WideTextIsUtf16BothWays) {
  const std::u16string wide = u"\u0414/\U0001F600\xD800";
  EXPECT_EQ(FromHost(W(wide)), "\xD0\x94/\xF0\x9F\x98\x80\xED\xA0\x80");
  EXPECT_EQ(ToHostWide(FromHost(W(wide))), wide);
  EXPECT_EQ(FromHost(static_cast<const WCHAR*>(nullptr)), "");
}

TEST(HostStrings, FileListsKeepTheirShape) {
  ScopedLocale western("en_US.CP1252");
  EXPECT_EQ(ListFromHost("a\xE9\0dir/\0\0ignored\0"), std::string("a\u00E9\0dir/\0\0", 10));
  const std::u16string wide(u"\u4E2D\0b\0\0", 5);
  EXPECT_EQ(ListFromHost(W(wide)), std::string("\u4E2D\0b\0\0", 7));
  EXPECT_EQ(ListFromHost(static_cast<const char*>(nullptr)), std::string(1, '\0'));
}

TEST(HostStrings, HeadersCutTheNameToTheirField) {
  EntryHeader entry;
  entry.FileName = std::string(1022, 'n') + "\U0001F600";
  entry.UnpSize = entry.PackSize = 5'000'000'000;
  entry.FileTime = 7;
  entry.FileAttr = 0x10;
  tHeaderDataExW wide;
  std::memset(&wide, 0x7F, sizeof wide);
  FillHostHeader(entry, wide);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide.FileName)),
            std::u16string(1022, u'n'))
      << "never half a pair";
  EXPECT_EQ(uint64_t{wide.UnpSizeHigh} << 32 | wide.UnpSize, 5'000'000'000u);
  EXPECT_EQ(wide.FileTime, 7);
  EXPECT_EQ(wide.FileAttr, 0x10);
  EXPECT_EQ(wide.Flags, 0x7F7F7F7F) << "the caller zeroes the record";

  ScopedLocale western("en_US.CP1252");
  entry.FileName = std::string(1020, 'n') + "\u00E9\u00E9\u00E9\u00E9";
  tHeaderDataEx ansi;
  FillHostHeader(entry, ansi);
  EXPECT_EQ(std::string(ansi.FileName), std::string(1020, 'n') + "\xE9\xE9\xE9");
  EXPECT_EQ(uint64_t{ansi.PackSizeHigh} << 32 | ansi.PackSize, 5'000'000'000u);
}

}  // namespace
}  // namespace wcx
