// The folder and stream wrappers on real compound files.
#include "storage/struct_storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "platform/os.h"
#include "temp_dir.h"

namespace storage {
namespace {

using testing_support::TempDir;

const OLECHAR* W(const char16_t* name) {
  return reinterpret_cast<const OLECHAR*>(name);
}

constexpr TStgAccessOptions kCreate = aoRead | aoWrite | aoDenyRead | aoDenyWrite | aoCreate;
constexpr TStgAccessOptions kReadWrite = aoRead | aoWrite | aoDenyRead | aoDenyWrite;
constexpr TStgAccessOptions kRead = aoRead | aoDenyWrite;

std::string Utf8(const OLECHAR* name) {
  return platform::WideToAnsi(reinterpret_cast<const char16_t*>(name), platform::CodePage::kAnsi);
}

// A compound file with a stream "data" of the given bytes and a storage
// "sub" holding a stream "inner".
std::string MakeFile(const TempDir& dir, const std::string& content = "hello") {
  std::string path = dir / "test.cfb";
  TStructStorageFolder root(path, kCreate, true);
  EXPECT_TRUE(root.CreateElement(W(u"data"), false));
  std::unique_ptr<TStructStorageStream> stream;
  EXPECT_TRUE(root.OpenStreamElement(W(u"data"), stream));
  stream->WriteBuffer(content.data(), static_cast<int32_t>(content.size()));
  EXPECT_TRUE(root.CreateElement(W(u"sub"), true));
  std::unique_ptr<TStructStorageFolder> sub;
  EXPECT_TRUE(root.OpenSubFolder(W(u"sub"), sub));
  EXPECT_TRUE(sub->CreateElement(W(u"inner"), false));
  return path;
}

TEST(AccessOptions, ModeBits) {
  const std::pair<TStgAccessOptions, uint32_t> cases[] = {
      {0, 0x40},
      {aoWrite | aoDenyRead | aoTransacted, 0x10031},
      {aoCreate | aoTransacted, 0x1012},
      {kCreate | aoFailIfThere, 0x12},
      {kRead, 0x20},
      {kReadWrite, 0x12},
      {aoRead | aoWrite, 0x42},
  };
  for (auto [options, mode] : cases) EXPECT_EQ(AccessToStgMode(options), mode) << int(options);
  EXPECT_EQ(ChildStgMode(kRead | aoCreate), 0x10u) << "children are never created";
  EXPECT_EQ(ChildStgMode(kCreate), 0x12u);
  EXPECT_EQ(ChildStgMode(aoRead | aoTransacted), 0x10010u);
}

TEST(Folder, OpensLazilyAndReportsTheSystemText) {
  TempDir dir;
  TStructStorageFolder never(dir / "missing.cfb", kRead, false);
  std::string name;
  never.QueryName(name);
  EXPECT_EQ(name, dir / "missing.cfb");
  EXPECT_FALSE(never.IsOpen()) << "QueryName never opens";
  try {
    TStructStorageFolder now(dir / "missing.cfb", kRead, true);
    FAIL() << "a missing file opens";
  } catch (const EStructStorageError& e) {
    EXPECT_STREQ(e.what(), "%1 could not be found");
  }
  EXPECT_THROW(never.EnsureOpen(), EStructStorageError);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.cfb"));
}

// A new archive never replaces a file that appeared after it was found
// missing: that file is another program's.
TEST(Folder, CreatingWithFailIfThereLeavesAnExistingFile) {
  TempDir dir;
  const std::string path = MakeFile(dir);
  const std::string before = testing_support::ReadFile(path);
  try {
    TStructStorageFolder created(path, kCreate | aoFailIfThere, true);
    FAIL() << "an existing file was created again";
  } catch (const EStructStorageError& e) {
    EXPECT_EQ(e.Code(), STG_E_FILEALREADYEXISTS);
  }
  EXPECT_EQ(testing_support::ReadFile(path), before);
  TStructStorageFolder fresh(dir / "fresh.cfb", kCreate | aoFailIfThere, true);
  EXPECT_TRUE(fresh.CreateElement(W(u"x"), false));
}

TEST(Folder, AnEmptyNameMeansATemporaryFile) {
  TStructStorageFolder temporary("", kCreate, false);
  EXPECT_EQ(temporary.StgMode(), 0x1012u | 0x04000000u);
  EXPECT_TRUE(temporary.CreateElement(W(u"x"), false));
  TStructStorageFolder unnamed("", kRead, false);
  EXPECT_THROW(unnamed.EnsureOpen(), EStructStorageError);
}

TEST(Folder, ElementsAreCreatedReplacedRenamedAndRemoved) {
  TempDir dir;
  std::string path = MakeFile(dir);
  TStructStorageFolder root(path, kReadWrite, true);
  EXPECT_FALSE(root.CreateElement(W(u"data"), false, false));
  EXPECT_EQ(root.LastHResult(), STG_E_FILEALREADYEXISTS);
  EXPECT_TRUE(root.CreateElement(W(u"data"), false)) << "replaces";
  std::unique_ptr<TStructStorageStream> stream;
  ASSERT_TRUE(root.OpenStreamElement(W(u"data"), stream));
  EXPECT_EQ(stream->GetSize(), 0);
  stream.reset();
  EXPECT_TRUE(root.RenameElement(W(u"data"), W(u"renamed")));
  EXPECT_FALSE(root.RemoveElement(W(u"data")));
  EXPECT_EQ(root.LastHResult(), STG_E_FILENOTFOUND);
  EXPECT_TRUE(root.RemoveElement(W(u"sub")));
  EXPECT_EQ(root.LastHResult(), S_OK);
  EXPECT_FALSE(root.CreateElement(W(u"a/b"), false));
  EXPECT_EQ(root.LastHResult(), STG_E_INVALIDNAME);
}

TEST(Folder, FailedOpensReturnNothingAndRecordNothing) {
  TempDir dir;
  std::string path = MakeFile(dir);
  TStructStorageFolder root(path, kRead, true);
  STATSTG stat;
  ASSERT_TRUE(root.QueryStat(stat, false));
  EXPECT_EQ(stat.pwcsName, nullptr);
  std::unique_ptr<TStructStorageStream> stream = std::make_unique<TStructStorageStream>();
  std::unique_ptr<TStructStorageFolder> sub;
  ASSERT_FALSE(root.RemoveElement(W(u"data"))) << "read-only";
  const HRESULT recorded = root.LastHResult();
  EXPECT_EQ(recorded, STG_E_ACCESSDENIED);
  EXPECT_FALSE(root.OpenStreamElement(W(u"nothing"), stream));
  EXPECT_EQ(stream, nullptr);
  EXPECT_FALSE(root.OpenSubFolder(W(u"data"), sub)) << "a stream is no folder";
  EXPECT_EQ(sub, nullptr);
  EXPECT_EQ(root.LastHResult(), recorded);

  ASSERT_TRUE(root.OpenSubFolder(W(u"sub"), sub));
  EXPECT_EQ(root.LastHResult(), S_OK) << "the parent's own Stat";
  EXPECT_EQ(sub->DocFileName(), path) << "named after its parent";
  EXPECT_EQ(sub->StgMode(), 0x10u);
  EXPECT_TRUE(sub->IsOpen());
}

TEST(Folder, EnumeratesChildrenInDirectoryOrder) {
  TempDir dir;
  std::string path = MakeFile(dir);
  TStructStorageFolder root(path, kReadWrite, true);
  ASSERT_TRUE(root.CreateElement(W(u"AB"), false));
  ASSERT_TRUE(root.CreateElement(W(u"b"), true));
  std::vector<std::string> names;
  std::vector<DWORD> types;
  EXPECT_TRUE(root.ForEachElement([&](StatCopy stat) {
    names.push_back(Utf8(stat->pwcsName));
    types.push_back(stat->type);
  }));
  // Shorter names first, then by upper-cased code units.
  EXPECT_EQ(names, (std::vector<std::string>{"b", "AB", "sub", "data"}));
  EXPECT_EQ(types, (std::vector<DWORD>{STGTY_STORAGE, STGTY_STREAM, STGTY_STORAGE, STGTY_STREAM}));

  std::unique_ptr<TStructStorageFolder> empty;
  ASSERT_TRUE(root.OpenSubFolder(W(u"b"), empty));
  int calls = 0;
  EXPECT_TRUE(empty->ForEachElement([&](StatCopy) { ++calls; }));
  EXPECT_EQ(calls, 0);
}

TEST(Folder, IsCompoundFileGivesThePlatformCode) {
  TempDir dir;
  std::string path = MakeFile(dir);
  EXPECT_EQ(TStructStorageFolder::IsCompoundFile(path), S_OK);
  EXPECT_EQ(TStructStorageFolder::IsCompoundFile(dir.Write("plain.txt", "not a compound file")),
            S_FALSE);
  EXPECT_TRUE(FAILED(TStructStorageFolder::IsCompoundFile(dir / "missing")));
}

TEST(Folder, AssignToCopiesIntoFoldersOnly) {
  TempDir dir;
  std::string path = MakeFile(dir, "payload");
  TStructStorageFolder source(path, kRead, true);
  TStructStorageFolder dest(dir / "copy.cfb", kCreate, true);
  dest.Assign(&source);
  EXPECT_EQ(source.LastHResult(), S_OK);
  std::unique_ptr<TStructStorageStream> stream;
  ASSERT_TRUE(dest.OpenStreamElement(W(u"data"), stream));
  EXPECT_EQ(stream->GetSize(), 7);
  try {
    source.AssignTo(nullptr);
    FAIL();
  } catch (const rtl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TStructStorageFolder to a nil");
  }
  rtl::TPersistent other;
  try {
    source.AssignTo(&other);
    FAIL();
  } catch (const rtl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TStructStorageFolder to a TPersistent");
  }
}

TEST(Stream, TransfersSeeksAndExactTransfers) {
  TempDir dir;
  std::string path = MakeFile(dir, "0123456789");
  TStructStorageFolder root(path, kReadWrite, true);
  std::unique_ptr<TStructStorageStream> stream;
  ASSERT_TRUE(root.OpenStreamElement(W(u"data"), stream));
  EXPECT_EQ(stream->GetSize(), 10);
  char buffer[16] = {};
  stream->SetPosition(4);
  EXPECT_EQ(stream->Read(buffer, 16), 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  stream->SetPosition(8);
  EXPECT_THROW(stream->ReadBuffer(buffer, 4), rtl::EReadError);

  // 64-bit positions come back whole.
  const int64_t far = int64_t{5} << 30;
  EXPECT_EQ(stream->Seek(far, rtl::TSeekOrigin::soBeginning), far);
  ASSERT_TRUE(stream->QueryStat(*NewStat(), false));
  EXPECT_EQ(stream->Seek(-1, rtl::TSeekOrigin::soBeginning), -1);
  EXPECT_EQ(stream->LastHResult(), S_OK) << "a failed seek records nothing";

  stream->SetSize(3);
  EXPECT_EQ(stream->GetSize(), 3);
  STATSTG stat;
  ASSERT_TRUE(stream->QueryStat(stat, true));
  StatCopy owned = CopyStat(stat);
  EXPECT_EQ(Utf8(owned->pwcsName), "data");
  EXPECT_EQ(owned->cbSize.QuadPart, 3u);
}

TEST(Stream, ReadOnlyStreamsRefuseWrites) {
  TempDir dir;
  std::string path = MakeFile(dir);
  TStructStorageFolder root(path, kRead, true);
  std::unique_ptr<TStructStorageStream> stream;
  ASSERT_TRUE(root.OpenStreamElement(W(u"data"), stream));
  EXPECT_EQ(stream->Write("x", 1), 0);
  EXPECT_THROW(stream->WriteBuffer("x", 1), rtl::EWriteError);
  TStructStorageStream empty;
  try {
    empty.Read(nullptr, 0);
    FAIL();
  } catch (const EStructStorageError& e) {
    EXPECT_STREQ(e.what(), "IStream is nil");
  }
}

}  // namespace
}  // namespace storage
