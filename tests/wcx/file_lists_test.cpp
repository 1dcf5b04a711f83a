// The host's file lists and their clean-up before packing and deleting.
#include <gtest/gtest.h>

#include "wcx/file_lists.h"

namespace wcx {
namespace {

TEST(FileLists, ParseStopsAtTheFirstEmptyName) {
  TStringList names;
  ParseFileList(nullptr, names);
  EXPECT_TRUE(names.empty());
  const char list[] = "a b\0sub/\0\0ignored\0";
  ParseFileList(list, names);
  EXPECT_EQ(names, (TStringList{"a b", "sub/"}));
}

TEST(FileLists, DuplicatesAreDroppedKeepingTheFirst) {
  TStringList names{"a.txt", "b.txt", "A.TXT", "\xC3\x84.txt", "\xC3\xA4.TXT", "b.txt"};
  RemoveDuplicateNames(names);
  EXPECT_EQ(names, (TStringList{"a.txt", "b.txt", "\xC3\x84.txt"}));
}

TEST(FileLists, DeleteListKeepsOnlyTopLevelItems) {
  struct Case {
    TStringList in, out;
  } cases[] = {
      {{"docs/*.*", "docs/a.txt", "DOCS/sub/b.txt", "readme.txt"}, {"docs", "readme.txt"}},
      {{"docs/a.txt", "docs"}, {"docs"}},
      {{"docs", "docsX/a", "doc/s"}, {"docs", "docsX/a", "doc/s"}},
      {{"a/b/*.*", "a/b/c/d", "a/bc"}, {"a/b", "a/bc"}},
      {{"*.*"}, {""}},
      {{"x", "X", "x/*.*"}, {"x"}},
  };
  for (auto& c : cases) {
    TStringList names = c.in;
    PrepareDeleteList(names);
    EXPECT_EQ(names, c.out) << c.in.front();
  }
}

TEST(FileLists, TrailingDelimiter) {
  EXPECT_EQ(WithTrailingBackslash(""), "/");
  EXPECT_EQ(WithTrailingBackslash("/src"), "/src/");
  EXPECT_EQ(WithTrailingBackslash("/src/"), "/src/");
}

}  // namespace
}  // namespace wcx
