// Files the engine writes are read identically by 7-Zip, olefile and libgsf;
// files libgsf writes are read identically by the engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cfb/compound_file.h"
#include "raw_file.h"
#include "test_files.h"
#include "tool_runner.h"

namespace cfb::testing {
namespace {

// Builds a file with the engine and the listing every reader should report.
class Builder {
 public:
  Builder(const std::string& path, Version version)
      : file_(CompoundFile::Create(path, false, version)) {}

  uint32_t Storage(uint32_t parent, const std::u16string& name) {
    return file_->CreateElement(parent, name, EntryType::kStorage);
  }
  uint32_t Stream(uint32_t parent, const std::u16string& name, size_t size) {
    const uint32_t id = file_->CreateElement(parent, name, EntryType::kStream);
    const auto bytes = Pattern(size, id * 31 + static_cast<uint32_t>(size));
    // Written in uneven pieces, so that streams cross the cutoff on the way.
    for (size_t pos = 0; pos < size;) {
      const size_t n = std::min<size_t>(size - pos, 1000 + pos % 7919);
      file_->Write(id, pos, bytes.data() + pos, n);
      pos += n;
    }
    return id;
  }
  CompoundFile& file() { return *file_; }

  // What the file holds now, from the engine's own view.
  Listing Expected(const std::function<std::string(const std::string&)>& rename) {
    Listing listing;
    Collect(kRootId, "", rename, listing);
    return listing;
  }

 private:
  void Collect(uint32_t storage, const std::string& prefix,
               const std::function<std::string(const std::string&)>& rename, Listing& out) {
    for (uint32_t id : file_->Children(storage)) {
      const EntryView e = file_->Entry(id);
      const std::string path = prefix + rename(Utf8(e.name()));
      if (e.is_storage()) {
        out.insert({'d', path, 0, 0});
        Collect(id, path + "/", rename, out);
      } else {
        std::vector<uint8_t> bytes(e.size());
        file_->Read(id, 0, bytes.data(), bytes.size());
        out.insert({'f', path, e.size(), Crc32(bytes.data(), bytes.size())});
      }
    }
  }

  std::unique_ptr<CompoundFile> file_;
};

void BuildSample(Builder& b) {
  b.Stream(kRootId, u"\x05SummaryInformation", 500);
  b.Stream(kRootId, u"empty", 0);
  for (size_t size : {4095, 4096, 61440, 61441})
    b.Stream(kRootId, u"s" + Utf16(std::to_string(size)), size);
  b.Stream(kRootId, u"big", 8 << 20);                         // v3: needs DIFAT sectors
  b.Stream(kRootId, u"abcdefghijklmnopqrstuvwxyz01234", 77);  // 31 characters
  const uint32_t tree = b.Storage(kRootId, u"\u0401\u043B\u043A\u0430");
  b.Stream(tree, u"\u03A9\u03BC\u03AD\u03B3\u03B1-\u6F22\u5B57", 200);
  const uint32_t outer = b.Storage(kRootId, u"outer");
  const uint32_t inner = b.Storage(outer, u"inner");
  b.Stream(inner, u"deep", 5000);
  b.Storage(outer, u"vacant");
  const uint32_t doomed = b.Storage(kRootId, u"doomed");
  b.Stream(doomed, u"lost", 100000);
  b.Stream(kRootId, u"gone", 10000);
  b.Stream(kRootId, u"oldname", 3000);
  b.file().Commit();
  b.file().DestroyElement(doomed);
  b.file().DestroyElement(b.file().Find(kRootId, u"gone"));
  b.file().RenameElement(b.file().Find(kRootId, u"oldname"), u"newname");
  b.Stream(kRootId, u"after", 20000);  // reuses what the deletions freed
  b.file().Commit();
}

// libgsf lists a storage without children like an empty stream.
Listing AsGsfShowsIt(const Listing& listing) {
  Listing out;
  for (const Listed& item : listing) {
    const bool has_children = std::any_of(listing.begin(), listing.end(), [&](const Listed& other) {
      return other.path.starts_with(item.path + "/");
    });
    if (item.kind == 'd' && !has_children)
      out.insert({'f', item.path, 0, 0});
    else
      out.insert(item);
  }
  return out;
}

class InteropTest : public ::testing::TestWithParam<Version> {};

TEST_P(InteropTest, ToolsReadWhatTheEngineWrote) {
  TempDir dir;
  const std::string path = dir.File("sample.cfb");
  Builder builder(path, GetParam());
  BuildSample(builder);
  const auto same = [](const std::string& name) { return name; };
  const Listing expected = builder.Expected(same);
  ASSERT_EQ(expected.size(), 16u);

  if (HaveTool("/usr/bin/python3") &&
      RunCommand("/usr/bin/python3 -c 'import olefile' 2>/dev/null; echo $?").output == "0\n") {
    EXPECT_EQ(ListWithOlefile(path), expected) << "olefile";
  }
  if (HaveTool("gsf")) {
    EXPECT_EQ(ListWithGsf(path), AsGsfShowsIt(expected)) << "gsf";
  }
  if (HaveTool("7zz")) {
    EXPECT_EQ(ListWith7zz(path, dir.File("x7")), builder.Expected(SevenZipName)) << "7zz";
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, InteropTest, ::testing::Values(Version::k3, Version::k4),
                         [](const auto& info) { return info.param == Version::k3 ? "v3" : "v4"; });

TEST(Interop, EngineReadsWhatGsfWrote) {
  if (!HaveTool("gsf")) GTEST_SKIP() << "gsf not installed";
  TempDir dir;
  const std::filesystem::path top = dir.path() / "top";
  std::filesystem::create_directories(top / "sub" / "deeper");
  Listing expected;
  expected.insert({'d', "top", 0, 0});
  expected.insert({'d', "top/sub", 0, 0});
  expected.insert({'d', "top/sub/deeper", 0, 0});
  const std::vector<std::pair<std::string, size_t>> files = {
      {"top/empty", 0},
      {"top/small", 100},
      {"top/sub/cut", 4096},
      {"top/sub/big", 300000},
      {"top/sub/deeper/\xC3\xA9t\xC3\xA9", 5000}};
  for (const auto& [name, size] : files) {
    const auto bytes = Pattern(size, static_cast<uint32_t>(size));
    std::ofstream(dir.path() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    expected.insert({'f', name, size, Crc32(bytes.data(), bytes.size())});
  }
  const std::string ole = dir.File("gsf.ole");
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path().string()) + " && gsf createole " +
                       ShellQuote(ole) + " top >/dev/null 2>&1")
                .status,
            0);
  const Listing seen = ListWithEngine(ole);
  EXPECT_EQ(seen, expected);
}

// What olefile in its strictest mode and 7-Zip's test say of a file: empty
// when both accept it.
std::string StrictReadersRefusals(const std::string& path, const std::string& scratch) {
  std::string said;
  const CommandResult olefile = RunCommand(
      "/usr/bin/python3 -c 'import olefile,sys\n"
      "o=olefile.OleFileIO(sys.argv[1],raise_defects=olefile.DEFECT_INCORRECT)\n"
      "[o.openstream(e).read() for e in o.listdir()]' " +
      ShellQuote(path) + " 2>&1");
  if (olefile.status != 0) said += "olefile: " + olefile.output;
  const CommandResult seven = RunCommand("7zz t -bd " + ShellQuote(path) + " -o" +
                                         ShellQuote(scratch) + " 2>&1");
  if (seven.status != 0) said += "7zz: " + seven.output;
  return said;
}

// The FAT of a file with 512-byte sectors outgrows the header's 109 slots
// with some 7 MB of content and needs DIFAT pages; when it shrinks back,
// the DIFAT must go with it.
TEST(Interop, TheDifatFollowsTheFatBackIntoTheHeader) {
  TempDir dir;
  const std::string path = dir.File("shrink.cfb");
  const auto write = [](CompoundFile& file, const std::u16string& name, size_t size) {
    const uint32_t id = file.CreateElement(kRootId, name, EntryType::kStream);
    const auto bytes = Pattern(size, static_cast<uint32_t>(size));
    file.Write(id, 0, bytes.data(), bytes.size());
  };
  // Sizes in MB: grown past one DIFAT page's worth, and past two.
  for (const auto& [big, smaller] : {std::pair{9, 1}, std::pair{20, 10}}) {
    SCOPED_TRACE(big);
    {
      auto file = CompoundFile::Create(path, true, Version::k3);
      write(*file, u"base", 3000);
      write(*file, u"big", size_t(big) << 20);
      file->Commit();
    }
    auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
    file->DestroyElement(file->Find(kRootId, u"big"));
    file->Commit();
    EXPECT_EQ(StrictReadersRefusals(path, dir.File("x")), "") << "after the delete";
    write(*file, u"smaller", size_t(smaller) << 20);
    file->Commit();
    EXPECT_EQ(StrictReadersRefusals(path, dir.File("x")), "") << "after the next add";
    write(*file, u"small", 10);
    file->Commit();
    EXPECT_EQ(StrictReadersRefusals(path, dir.File("x")), "") << "after one more";
  }
}

// Such a leftover in a file an earlier version wrote: a sector marked as a
// DIFAT page that the header no longer lists, or lists although every FAT
// page fits in its slots.
TEST(Interop, ALeftoverDifatPageIsDroppedByTheNextCommit) {
  for (const bool header_still_lists_it : {false, true}) {
    SCOPED_TRACE(header_still_lists_it);
    TempDir dir;
    const std::string path = dir.File("leftover.cfb");
    {
      auto file = CompoundFile::Create(path, false, Version::k3);
      const uint32_t id = file->CreateElement(kRootId, u"data", EntryType::kStream);
      const auto bytes = Pattern(20000, 1);
      file->Write(id, 0, bytes.data(), bytes.size());
      file->Commit();
    }
    {
      RawFile raw(path);
      const uint32_t sectors = static_cast<uint32_t>(raw.bytes().size() / 512 - 1);
      raw.bytes().resize(raw.bytes().size() + 512, 0xFF);
      raw.SetFat(sectors, kDifSect);
      if (header_still_lists_it) {
        StoreU32(&raw.bytes()[0x44], sectors);
        StoreU32(&raw.bytes()[0x48], 1);
      }
      raw.Save();
    }
    ASSERT_NE(StrictReadersRefusals(path, dir.File("x")), "");
    {
      auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
      file->CreateElement(kRootId, u"more", EntryType::kStream);
      file->Commit();
    }
    EXPECT_EQ(StrictReadersRefusals(path, dir.File("x")), "");
    EXPECT_EQ(ListWithEngine(path).size(), 2u);
  }
}

}  // namespace
}  // namespace cfb::testing
