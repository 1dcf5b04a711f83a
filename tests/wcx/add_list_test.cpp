// The host's AddList as packing reads it: what each name stands for, names
// listed twice, and the bytes the call adds when a store asks for them.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/unicode.h"
#include "temp_dir.h"
#include "tree_helpers.h"
#include "wcx/add_list.h"

namespace wcx {
namespace {

using testing_support::HostList;
using testing_support::TempDir;

TEST(AddList, EachNameIsDecidedOnceAndRepeatsAreLeftOut) {
  TempDir src;
  src.Write("a.txt", "abc");
  src.Write("d/f", "12345");
  std::filesystem::create_directory(src / "disk");
  const std::string list = HostList({"a.txt", "d/", "d/f", "disk", "missing", "A.TXT",
                                     "\xC3\x84", "\xC3\xA4", "a.txt", "d"});
  // A wide list, as PackFilesW hands it, is read in place to the same end.
  const std::u16string wide = platform::Utf8ToUtf16(list);
  for (const ListedNames listed : {ListedNames(list.c_str()), ListedNames(wide.c_str())}) {
    const AddList names(listed);
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(names.SourceBytes(src.Slash()), 8u) << "files that exist";
    std::vector<std::string> seen;
    for (const AddList::Entry& entry : names)
      seen.push_back(std::string(entry.name) + (entry.kind == SourceKind::kFolder ? " folder" : " file") +
                     (entry.repeated ? " again" : ""));
      // A folder the host did not mark is found when adding reaches it.
    EXPECT_EQ(seen, (std::vector<std::string>{"a.txt file", "d/ folder", "d/f file", "disk file",
                                              "missing file", "A.TXT file again", "\xC3\x84 file",
                                              "\xC3\xA4 file again", "a.txt file again", "d file"}));
  }
  EXPECT_TRUE(AddList(nullptr).empty());
}

}  // namespace
}  // namespace wcx
