// Names in every script through both interfaces: the W functions show each
// element under its own name and store exactly the UTF-16 name they are
// given; the 8-bit ones, under a Western code page, show what the code page
// cannot hold as #XXXX escapes, which come back as the same elements.
#include <algorithm>
#include <fstream>
#include <set>

#include "storage_plugin_fixture.h"
#include "platform/unicode.h"
#ifdef _WIN32
#include <windows.h>
#else
#include "scoped_env.h"
#endif

namespace storage_plugin {
namespace {

namespace fs = std::filesystem;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using testing_support::Utf8Path;

struct Name {
  std::u16string element;
  std::string wide;  // as the W functions show it (in UTF-8 here)
  std::string ansi;  // as the 8-bit ones show it under Windows-1252
};

const Name kNames[] = {
    {u"\u0414\u0430\u043D\u043D\u044B\u0435", "\u0414\u0430\u043D\u043D\u044B\u0435",
     "#0414#0430#043D#043D#044B#0435"},
    {u"\u03A9\u03BC\u03AD\u03B3\u03B1", "\u03A9\u03BC\u03AD\u03B3\u03B1",
     "#03A9#03BC#03AD#03B3#03B1"},
    {u"\u4E2D\u6587.txt", "\u4E2D\u6587.txt", "#4E2D#6587.txt"},
    {u"\U0001F600 caf\u00E9", "\U0001F600 caf\u00E9", "#D83D#DE00 caf\xE9"},
    {u"half\xD83D", "half#D83D", "half#D83D"},
    {u"\x05SummaryInformation", "#0005SummaryInformation", "#0005SummaryInformation"},
    {u"100%", "100#0025", "100#0025"},
    {u"#1", "#00231", "#00231"},
    {u"\u041F\u0430\u043F\u043A\u0430", "\u041F\u0430\u043F\u043A\u0430", "#041F#0430#043F#043A#0430"},
    {u"\u041F\u0430\u043F\u043A\u0430/\u03C6\u03CD\u03BB\u03BB\u03BF",
     "\u041F\u0430\u043F\u043A\u0430/\u03C6\u03CD\u03BB\u03BB\u03BF",
     "#041F#0430#043F#043A#0430/#03C6#03CD#03BB#03BB#03BF"},
};
constexpr size_t kFolder = 8;

std::u16string Wide(const std::string& utf8) { return Utf8ToUtf16(utf8); }
WCHAR* W(std::u16string& text) { return reinterpret_cast<WCHAR*>(text.data()); }
std::u16string WideList(const std::vector<std::string>& names) {
  std::u16string list;
  for (const std::string& name : names) list += Wide(ToHost(name)) + u'\0';
  return list + u'\0';
}
std::string Content(const Name& name) { return "content of " + name.wide; }

// Every element name below the root, folders' contents as "folder/name".
std::set<std::u16string> StoredNames(const std::string& arc) {
  std::set<std::u16string> names;
  const std::u16string file = Wide(arc);
  platform::ComPtr<IStorage> root;
  if (StgOpenStorage(reinterpret_cast<const OLECHAR*>(file.c_str()), nullptr,
                     STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, root.Receive()) != S_OK)
    return names;
  auto walk = [&](auto& self, IStorage& storage, const std::u16string& prefix) -> void {
    platform::ComPtr<IEnumSTATSTG> it;
    if (storage.EnumElements(0, nullptr, 0, it.Receive()) != S_OK) return;
    STATSTG stat;
    ULONG fetched = 0;
    while (it->Next(1, &stat, &fetched) == S_OK) {
      const std::u16string name = prefix + reinterpret_cast<const char16_t*>(stat.pwcsName);
      names.insert(name);
      platform::ComPtr<IStorage> sub;
      if (stat.type == STGTY_STORAGE &&
          storage.OpenStorage(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                              sub.Receive()) == S_OK)
        self(self, *sub.Get(), name + u"/");
      CoTaskMemFree(stat.pwcsName);
    }
  };
  walk(walk, *root.Get(), u"");
  return names;
}

class UnicodeNames : public StoragePlugin {
 protected:
  UnicodeNames() {
    CompoundBuilder builder(arc);
    for (const Name& name : kNames)
      if (&name != &kNames[kFolder]) builder.Stream(name.element, Content(name));
  }

  // A listing through the W functions, each header followed by PK_SKIP, or
  // by PK_EXTRACT of its file into `target` (with a trailing delimiter).
  std::vector<std::string> ListW(const std::string& archive, const std::string& target = "") {
    std::u16string name = Wide(archive);
    tOpenArchiveDataW data{};
    data.ArcName = W(name);
    data.OpenMode = target.empty() ? PK_OM_LIST : PK_OM_EXTRACT;
    HANDLE handle = plugin->OpenArchiveW(&data);
    std::vector<std::string> paths;
    tHeaderDataExW header;
    while (plugin->ReadHeaderExW(handle, &header) == 0) {
      const std::string path = Utf16ToUtf8(reinterpret_cast<const char16_t*>(header.FileName));
      paths.push_back(FromHost(path));
      std::u16string dest = Wide(target + path);
      const bool extract = !target.empty() && !(header.FileAttr & platform::kFolderMark);
      if (!target.empty() && !extract) fs::create_directory(Utf8Path(target + path));
      EXPECT_EQ(plugin->ProcessFileW(handle, extract ? PK_EXTRACT : PK_SKIP, nullptr,
                                     extract ? W(dest) : nullptr),
                0)
          << path;
    }
    plugin->CloseArchive(handle);
    return paths;
  }

  int32_t PackW(const std::string& archive, const std::string& srcPath,
                const std::vector<std::string>& names) {
    std::u16string packed = Wide(archive), src = Wide(srcPath), list = WideList(names);
    return plugin->PackFilesW(W(packed), nullptr, W(src), W(list), PK_PACK_SAVE_PATHS);
  }

  int32_t DeleteW(const std::vector<std::string>& names) {
    std::u16string packed = Wide(arc), list = WideList(names);
    return plugin->DeleteFilesW(W(packed), W(list));
  }

  static std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  template <class Member>
  static std::vector<std::string> Expected(Member member) {
    std::vector<std::string> paths;
    for (const Name& name : kNames) paths.push_back(name.*member);
    return Sorted(paths);
  }

  std::string arc = dir / "\u0430\u0440\u0445\u0438\u0432 \u6587.doc";
};

TEST_F(UnicodeNames, TheWideInterfaceListsExtractsAndRepacksRealNames) {
  std::u16string file = Wide(arc);
  EXPECT_EQ(plugin->CanYouHandleThisFileW(W(file)), -1);
  EXPECT_EQ(Sorted(ListW(arc)), Expected(&Name::wide));

  const std::string target = dir.Slash() + "\u0432\u044B\u0445\u043E\u0434 \u76EE\u7684" +
                             platform::kPathDelim;
  fs::create_directory(Utf8Path(target));
  ListW(arc, target);
  for (const Name& name : kNames) {
    if (&name == &kNames[kFolder]) continue;
    EXPECT_EQ(ReadFile(target + ToHost(name.wide)), Content(name)) << name.wide;
  }

  // What was extracted goes back under the names it came from.
  const std::string copy = dir / "copy.doc";
  std::vector<std::string> extracted;
  for (const Name& name : kNames) extracted.push_back(name.wide);
  ASSERT_EQ(PackW(copy, target, extracted), 0);
  std::set<std::u16string> expected;
  for (const Name& name : kNames) expected.insert(name.element);
  EXPECT_EQ(StoredNames(copy), expected);
}

TEST_F(UnicodeNames, TheWideInterfaceStoresAndDeletesExactlyTheNamesItIsGiven) {
  const std::string src = dir.Slash() + "\u6E90" + platform::kPathDelim;
  // The last one differs from a stored name only in case: compound files
  // hold one of them, the new one. (Wine's OLE32 folds the case of ASCII
  // letters only.)
  const std::vector<std::string> disk = {"\u0416\u0443\u043A", "\u03A3\u03AF\u03B3\u03BC\u03B1",
                                         "\U0001F4BE\U0001F600", "50%", "#0041 escaped",
                                         "Track #1", "\u4E2D\u6587.TXT"};
  for (const std::string& name : disk) dir.Write("\u6E90/" + name, name);
  ASSERT_EQ(PackW(arc, src, disk), 0);
  const std::set<std::u16string> stored = StoredNames(arc);
  for (const char16_t* name : {u"\u0416\u0443\u043A", u"\u03A3\u03AF\u03B3\u03BC\u03B1",
                               u"\U0001F4BE\U0001F600", u"50%", u"A escaped", u"Track #1",
                               u"\u4E2D\u6587.TXT"})
    EXPECT_TRUE(stored.count(name)) << Utf16ToUtf8(name);
  EXPECT_FALSE(stored.count(u"\u4E2D\u6587.txt"));

  ASSERT_EQ(DeleteW({"\u0414\u0430\u043D\u043D\u044B\u0435", "half#D83D", "#00231",
                     "\u041F\u0430\u043F\u043A\u0430/*.*", "\U0001F4BE\U0001F600"}),
            0);
  const std::set<std::u16string> left = StoredNames(arc);
  for (const char16_t* gone : {u"\u0414\u0430\u043D\u043D\u044B\u0435", u"half\xD83D",
                               u"#1", u"\u041F\u0430\u043F\u043A\u0430", u"\U0001F4BE\U0001F600"})
    EXPECT_FALSE(left.count(gone)) << Utf16ToUtf8(gone);
  for (const char16_t* kept : {u"\u03A9\u03BC\u03AD\u03B3\u03B1", u"100%", u"50%", u"\u4E2D\u6587.TXT"})
    EXPECT_TRUE(left.count(kept)) << Utf16ToUtf8(kept);
}

// A name in the 8-bit host's code page as the disk knows it.
fs::path AnsiPath(const std::string& name) {
#ifdef _WIN32
  std::wstring wide(name.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
#else
  return name;
#endif
}

TEST_F(UnicodeNames, TheEightBitInterfaceShowsEscapesThatStillReachTheElements) {
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "needs a Western code page";
#else
  testing_support::ScopedLocale western("en_US.CP1252");
#endif
  // Named in the code page too.
  const std::string ansiArc = dir / "archive.doc";
  fs::copy_file(Utf8Path(arc), ansiArc);
  EXPECT_EQ(Sorted(Paths(ansiArc)), Expected(&Name::ansi));
  // Extracted into "Ziel \u00E9", which the code page holds.
  const std::string target = dir.Slash() + "Ziel \xE9" + platform::kPathDelim;
  fs::create_directories(dir.path() / AnsiPath("Ziel \xE9/#041F#0430#043F#043A#0430"));
  for (const Name& name : kNames) {
    if (&name == &kNames[kFolder]) continue;
    EXPECT_EQ(Process(ansiArc, name.ansi, target + ToHost(name.ansi)), 0) << name.ansi;
    std::ifstream in(dir.path() / AnsiPath("Ziel \xE9/" + name.ansi), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Content(name)) << name.ansi;
  }

  // Names copied from the listing delete their elements.
  ASSERT_EQ(Delete(ansiArc, {"#0414#0430#043D#043D#044B#0435", "#D83D#DE00 caf\xE9"}), 0);
  const std::set<std::u16string> left = StoredNames(ansiArc);
  EXPECT_FALSE(left.count(u"\u0414\u0430\u043D\u043D\u044B\u0435"));
  EXPECT_FALSE(left.count(u"\U0001F600 caf\u00E9"));
  EXPECT_TRUE(left.count(u"\u03A9\u03BC\u03AD\u03B3\u03B1"));
}

}  // namespace
}  // namespace storage_plugin
