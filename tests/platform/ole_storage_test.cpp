// The COM-shaped storage API: result codes, modes, share conflicts,
// reverted handles, enumeration order and task-allocated names.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "ole_test_support.h"

namespace ole_test {
namespace {

ComPtr<IStorage> CreateFile(const std::u16string& name, DWORD mode = kCreate) {
  ComPtr<IStorage> root;
  EXPECT_EQ(StgCreateDocfile(name.c_str(), mode, 0, root.Receive()), S_OK);
  return root;
}

ComPtr<IStorage> OpenFile(const std::u16string& name, DWORD mode, HRESULT expect = S_OK) {
  ComPtr<IStorage> root;
  EXPECT_EQ(StgOpenStorage(name.c_str(), nullptr, mode, nullptr, 0, root.Receive()), expect);
  return root;
}

void WriteStream(IStorage& storage, const char16_t* name, const std::string& text) {
  ComPtr<IStream> stream;
  ASSERT_EQ(storage.CreateStream(name, kCreate, 0, 0, stream.Receive()), S_OK);
  ULONG written = 0;
  ASSERT_EQ(stream->Write(text.data(), static_cast<ULONG>(text.size()), &written), S_OK);
  EXPECT_EQ(written, text.size());
}

std::string ReadStream(IStorage& storage, const char16_t* name) {
  ComPtr<IStream> stream;
  EXPECT_EQ(storage.OpenStream(name, nullptr, kChildRead, 0, stream.Receive()), S_OK);
  if (!stream) return {};
  std::string text(100000, '\0');
  ULONG got = 0;
  EXPECT_EQ(stream->Read(text.data(), static_cast<ULONG>(text.size()), &got), S_OK);
  text.resize(got);
  return text;
}

std::vector<std::u16string> Names(IStorage& storage) {
  ComPtr<IEnumSTATSTG> it;
  EXPECT_EQ(storage.EnumElements(0, nullptr, 0, it.Receive()), S_OK);
  std::vector<std::u16string> names;
  STATSTG stat;
  ULONG fetched = 0;
  while (it->Next(1, &stat, &fetched) == S_OK) {
    EXPECT_EQ(fetched, 1u);
    names.push_back(stat.pwcsName);
    CoTaskMemFree(stat.pwcsName);
  }
  EXPECT_EQ(fetched, 0u);
  return names;
}

TEST(OleOpen, ResultCodesOfTheEntryPoints) {
  TempDir dir;
  std::ofstream(dir.Path("empty"));
  std::ofstream(dir.Path("text")) << "just some text, long enough to have a header";
  std::ofstream(dir.Path("short")) << "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 and nothing more";
  CreateFile(dir.Wide("good.cfb"));

  EXPECT_EQ(StgIsStorageFile(dir.Wide("good.cfb").c_str()), S_OK);
  EXPECT_EQ(StgIsStorageFile(dir.Wide("text").c_str()), S_FALSE);
  EXPECT_EQ(StgIsStorageFile(dir.Wide("empty").c_str()), S_FALSE);
  EXPECT_EQ(StgIsStorageFile(dir.Wide("missing").c_str()), STG_E_FILENOTFOUND);

  OpenFile(dir.Wide("missing"), kReadDenyWrite, STG_E_FILENOTFOUND);
  OpenFile(dir.Wide("empty"), kReadWrite, STG_E_FILEALREADYEXISTS);
  OpenFile(dir.Wide("text"), kReadWrite, STG_E_FILEALREADYEXISTS);
  OpenFile(dir.Wide("short"), kReadDenyWrite, STG_E_INVALIDHEADER);
  EXPECT_EQ(std::filesystem::file_size(dir.Path("empty")), 0u);  // left unchanged

  ComPtr<IStorage> root;
  EXPECT_EQ(StgOpenStorage(nullptr, nullptr, kReadDenyWrite, nullptr, 0, root.Receive()),
            STG_E_INVALIDNAME);
  EXPECT_EQ(StgCreateDocfile(dir.Wide("good.cfb").c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                             0, root.Receive()),
            STG_E_FILEALREADYEXISTS);
}

TEST(OleOpen, DamagedFileGivesDocfileCorrupt) {
  TempDir dir;
  const std::u16string name = dir.Wide("loop.cfb");
  {
    ComPtr<IStorage> root = CreateFile(name);
    WriteStream(*root.Get(), u"s", "x");
  }
  // The root's child points back at the root: a directory loop.
  std::fstream file(dir.Path("loop.cfb"), std::ios::in | std::ios::out | std::ios::binary);
  uint8_t first[4];
  file.seekg(0x30);
  file.read(reinterpret_cast<char*>(first), 4);
  const uint32_t dir_sector = first[0] | first[1] << 8 | first[2] << 16 | first[3] << 24;
  file.seekp((dir_sector + 1) * 512 + 0x4C);
  file.write("\0\0\0\0", 4);
  file.close();
  OpenFile(name, kReadDenyWrite, STG_E_DOCFILECORRUPT);
}

TEST(OleOpen, OnlyTheDirectModeCombinationsOpen) {
  TempDir dir;
  CreateFile(dir.Wide("f.cfb"));
  struct Case {
    DWORD mode;
    HRESULT expect;
  };
  for (const Case& c : {Case{STGM_READWRITE | STGM_SHARE_EXCLUSIVE, S_OK},
                        Case{STGM_READ | STGM_SHARE_DENY_WRITE, S_OK},
                        Case{STGM_READ | STGM_SHARE_EXCLUSIVE, S_OK},
                        Case{STGM_READ | STGM_SHARE_DENY_NONE, STG_E_INVALIDFLAG},
                        Case{STGM_READWRITE | STGM_SHARE_DENY_WRITE, STG_E_INVALIDFLAG},
                        Case{STGM_WRITE | STGM_SHARE_DENY_NONE, STG_E_INVALIDFLAG},
                        Case{STGM_READ, STG_E_INVALIDFLAG},
                        Case{3 | STGM_SHARE_EXCLUSIVE, STG_E_INVALIDFLAG}}) {
    ComPtr<IStorage> root;
    EXPECT_EQ(StgOpenStorage(dir.Wide("f.cfb").c_str(), nullptr, c.mode, nullptr, 0,
                             root.Receive()),
              c.expect)
        << std::hex << c.mode;
  }
  ComPtr<IStorage> root;
  EXPECT_EQ(StgCreateDocfile(dir.Wide("g.cfb").c_str(), STGM_CREATE | STGM_READWRITE, 0,
                             root.Receive()),
            STG_E_INVALIDFLAG);
  EXPECT_EQ(StgCreateDocfile(dir.Wide("g.cfb").c_str(),
                             STGM_CREATE | STGM_READ | STGM_SHARE_EXCLUSIVE, 0, root.Receive()),
            STG_E_INVALIDFLAG);
}

TEST(OleOpen, SharingBetweenOpensOfOneFile) {
  TempDir dir;
  const std::u16string name = dir.Wide("shared.cfb");
  CreateFile(name);
  {
    ComPtr<IStorage> reader = OpenFile(name, kReadDenyWrite);
    ComPtr<IStorage> second_reader = OpenFile(name, kReadDenyWrite);
    OpenFile(name, kReadWrite, STG_E_SHAREVIOLATION);
    ComPtr<IStorage> creator;
    EXPECT_EQ(StgCreateDocfile(name.c_str(), kCreate, 0, creator.Receive()),
              STG_E_SHAREVIOLATION);
  }
  {
    ComPtr<IStorage> writer = OpenFile(name, kReadWrite);
    OpenFile(name, kReadDenyWrite, STG_E_SHAREVIOLATION);
    OpenFile(name, STGM_READ | STGM_SHARE_EXCLUSIVE, STG_E_SHAREVIOLATION);
  }
  OpenFile(name, kReadWrite);  // free again
}

TEST(OleElements, CreateOpenDestroyRenameResultCodes) {
  TempDir dir;
  ComPtr<IStorage> root = CreateFile(dir.Wide("e.cfb"));
  ComPtr<IStream> stream;
  ComPtr<IStorage> storage;
  EXPECT_EQ(root->CreateStream(u"a", kCreate, 0, 0, stream.Receive()), S_OK);
  EXPECT_EQ(root->CreateStream(u"A", kChildWrite, 0, 0, stream.Receive()),
            STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root->CreateStream(u"b", STGM_READWRITE | STGM_SHARE_DENY_WRITE, 0, 0,
                               stream.Receive()),
            STG_E_INVALIDFLAG);
  for (const char16_t* bad : {u"", u"a/b", u"a\\b", u"a:b", u"a!b",
                              u"0123456789012345678901234567890123"}) {
    EXPECT_EQ(root->CreateStream(bad, kCreate, 0, 0, stream.Receive()), STG_E_INVALIDNAME);
    EXPECT_EQ(root->CreateStorage(bad, kCreate, 0, 0, storage.Receive()), STG_E_INVALIDNAME);
  }
  EXPECT_EQ(root->CreateStream(u"0123456789012345678901234567890", kCreate, 0, 0,
                               stream.Receive()),
            S_OK);  // 31 characters
  EXPECT_EQ(root->OpenStream(u"missing", nullptr, kChildRead, 0, stream.Receive()),
            STG_E_FILENOTFOUND);
  EXPECT_EQ(root->OpenStorage(u"a", nullptr, kChildRead, nullptr, 0, storage.Receive()),
            STG_E_FILENOTFOUND);  // a stream, not a storage
  EXPECT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, storage.Receive()), S_OK);
  // Open already: a second open is refused until the first is released.
  ComPtr<IStorage> again;
  EXPECT_EQ(root->OpenStorage(u"sub", nullptr, kChildWrite, nullptr, 0, again.Receive()),
            STG_E_ACCESSDENIED);
  EXPECT_EQ(root->RenameElement(u"sub", u"other"), STG_E_ACCESSDENIED);
  storage.Reset();
  EXPECT_EQ(root->RenameElement(u"sub", u"a"), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root->RenameElement(u"nothing", u"x"), STG_E_FILENOTFOUND);
  EXPECT_EQ(root->RenameElement(u"sub", u"x!y"), STG_E_INVALIDNAME);
  EXPECT_EQ(root->RenameElement(u"sub", u"renamed"), S_OK);
  EXPECT_EQ(root->OpenStorage(u"RENAMED", nullptr, kChildWrite, nullptr, 0, again.Receive()),
            S_OK);
  EXPECT_EQ(root->DestroyElement(u"nothing"), STG_E_FILENOTFOUND);
  EXPECT_EQ(root->DestroyElement(u"renamed"), S_OK);
}

TEST(OleElements, ReadOnlyRootRefusesWrites) {
  TempDir dir;
  const std::u16string name = dir.Wide("ro.cfb");
  {
    ComPtr<IStorage> root = CreateFile(name);
    WriteStream(*root.Get(), u"s", "content");
  }
  ComPtr<IStorage> root = OpenFile(name, kReadDenyWrite);
  ComPtr<IStream> stream;
  ComPtr<IStorage> storage;
  EXPECT_EQ(root->CreateStream(u"new", kCreate, 0, 0, stream.Receive()), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->CreateStorage(u"new", kCreate, 0, 0, storage.Receive()), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->DestroyElement(u"s"), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->RenameElement(u"s", u"t"), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->OpenStream(u"s", nullptr, kChildWrite, 0, stream.Receive()),
            STG_E_ACCESSDENIED);
  ASSERT_EQ(root->OpenStream(u"s", nullptr, kChildRead, 0, stream.Receive()), S_OK);
  ULONG n = 0;
  EXPECT_EQ(stream->Write("x", 1, &n), STG_E_ACCESSDENIED);
  ULARGE_INTEGER size{};
  EXPECT_EQ(stream->SetSize(size), STG_E_ACCESSDENIED);
}

TEST(OleElements, HandlesOfDestroyedElementsAreReverted) {
  TempDir dir;
  ComPtr<IStorage> root = CreateFile(dir.Wide("r.cfb"));
  ComPtr<IStorage> outer;
  ASSERT_EQ(root->CreateStorage(u"outer", kCreate, 0, 0, outer.Receive()), S_OK);
  ComPtr<IStorage> inner;
  ASSERT_EQ(outer->CreateStorage(u"inner", kCreate, 0, 0, inner.Receive()), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(inner->CreateStream(u"s", kCreate, 0, 0, stream.Receive()), S_OK);
  ComPtr<IEnumSTATSTG> it;
  ASSERT_EQ(inner->EnumElements(0, nullptr, 0, it.Receive()), S_OK);

  ASSERT_EQ(root->DestroyElement(u"outer"), S_OK);
  ULONG n = 0;
  char byte = 0;
  STATSTG stat;
  EXPECT_EQ(stream->Write(&byte, 1, &n), STG_E_REVERTED);
  EXPECT_EQ(stream->Read(&byte, 1, &n), STG_E_REVERTED);
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), STG_E_REVERTED);
  EXPECT_EQ(inner->CreateStream(u"t", kCreate, 0, 0, stream.Receive()), STG_E_REVERTED);
  EXPECT_EQ(outer->Stat(&stat, STATFLAG_NONAME), STG_E_REVERTED);
  EXPECT_EQ(it->Next(1, &stat, &n), STG_E_REVERTED);
  // A new element in the freed slot does not bring the old handles back.
  ComPtr<IStorage> fresh;
  ASSERT_EQ(root->CreateStorage(u"fresh", kCreate, 0, 0, fresh.Receive()), S_OK);
  EXPECT_EQ(outer->Stat(&stat, STATFLAG_NONAME), STG_E_REVERTED);
  // Releasing the root ends every handle below it.
  root.Reset();
  EXPECT_EQ(fresh->Stat(&stat, STATFLAG_NONAME), STG_E_REVERTED);
}

TEST(OleElements, EnumerationFollowsTheDirectoryOrder) {
  TempDir dir;
  ComPtr<IStorage> root = CreateFile(dir.Wide("order.cfb"));
  for (const char16_t* name : {u"bb", u"a", u"B", u"ccc", u"\u00DF", u"\u03C3x", u"Z"}) {
    ComPtr<IStream> stream;
    ASSERT_EQ(root->CreateStream(name, kCreate, 0, 0, stream.Receive()), S_OK);
  }
  // Shorter first, then upper-cased units: "ß" is not mapped, so it sorts
  // after every Latin capital.
  EXPECT_EQ(Names(*root.Get()), (std::vector<std::u16string>{u"a", u"B", u"Z", u"\u00DF", u"bb",
                                                              u"\u03C3x", u"ccc"}));
  ComPtr<IStream> stream;
  EXPECT_EQ(root->CreateStream(u"\u03A3X", kChildWrite, 0, 0, stream.Receive()),
            STG_E_FILEALREADYEXISTS);
}

TEST(OleStreams, ReadWriteSeekSetSizeAndStat) {
  TempDir dir;
  ComPtr<IStorage> root = CreateFile(dir.Wide("s.cfb"));
  ComPtr<IStream> stream;
  ASSERT_EQ(root->CreateStream(u"data", kCreate, 0, 0, stream.Receive()), S_OK);
  ULONG n = 0;
  ASSERT_EQ(stream->Write("hello world", 11, &n), S_OK);
  ULARGE_INTEGER pos{};
  LARGE_INTEGER move{};
  move.QuadPart = -5;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_END, &pos), S_OK);
  EXPECT_EQ(pos.QuadPart, 6u);
  char text[16] = {};
  EXPECT_EQ(stream->Read(text, sizeof text, &n), S_OK);
  EXPECT_EQ(std::string(text, n), "world");
  EXPECT_EQ(stream->Read(text, sizeof text, &n), S_OK);  // at the end
  EXPECT_EQ(n, 0u);
  move.QuadPart = -100;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);
  move.QuadPart = 0;
  EXPECT_EQ(stream->Seek(move, 3, &pos), STG_E_INVALIDFUNCTION);
  ULARGE_INTEGER size{};
  size.QuadPart = 20000;
  EXPECT_EQ(stream->SetSize(size), S_OK);
  STATSTG stat;
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::u16string(stat.pwcsName), u"data");
  EXPECT_EQ(stat.type, STGTY_STREAM);
  EXPECT_EQ(stat.cbSize.QuadPart, 20000u);
  EXPECT_EQ(platform::FileTimeToUInt64(stat.mtime), 0u);
  EXPECT_EQ(platform::FileTimeToUInt64(stat.ctime), 0u);
  CoTaskMemFree(stat.pwcsName);
  EXPECT_EQ(stream->Stat(&stat, 2), STG_E_INVALIDFLAG);
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.pwcsName, nullptr);
  move.QuadPart = 11;
  stream->Seek(move, STREAM_SEEK_SET, nullptr);
  std::vector<char> tail(20000 - 11, 'x');
  ASSERT_EQ(stream->Read(tail.data(), static_cast<ULONG>(tail.size()), &n), S_OK);
  EXPECT_EQ(tail, std::vector<char>(tail.size(), 0));
}

TEST(OleStorages, StatOfRootAndStorages) {
  TempDir dir;
  const std::u16string name = dir.Wide("stat.cfb");
  ComPtr<IStorage> root = CreateFile(name);
  STATSTG stat;
  ASSERT_EQ(root->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::u16string(stat.pwcsName), name);
  EXPECT_EQ(stat.type, STGTY_STORAGE);
  EXPECT_NE(platform::FileTimeToUInt64(stat.mtime), 0u);
  CoTaskMemFree(stat.pwcsName);
  ComPtr<IStorage> sub;
  ASSERT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, sub.Receive()), S_OK);
  ASSERT_EQ(sub->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::u16string(stat.pwcsName), u"sub");
  EXPECT_NE(platform::FileTimeToUInt64(stat.ctime), 0u);
  EXPECT_NE(platform::FileTimeToUInt64(stat.mtime), 0u);
  CoTaskMemFree(stat.pwcsName);
}

TEST(OleStorages, ContentSurvivesReleaseAndReopen) {
  TempDir dir;
  const std::u16string name = dir.Wide("persist.cfb");
  {
    ComPtr<IStorage> root = CreateFile(name);
    ComPtr<IStorage> sub;
    ASSERT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, sub.Receive()), S_OK);
    WriteStream(*sub.Get(), u"inner", std::string(5000, 'i'));
    WriteStream(*root.Get(), u"outer", "o");
    WriteStream(*root.Get(), u"outer", "replaced");  // CREATE replaces
  }
  ComPtr<IStorage> root = OpenFile(name, kReadDenyWrite);
  EXPECT_EQ(ReadStream(*root.Get(), u"outer"), "replaced");
  ComPtr<IStorage> sub;
  ASSERT_EQ(root->OpenStorage(u"sub", nullptr, kChildRead, nullptr, 0, sub.Receive()), S_OK);
  EXPECT_EQ(ReadStream(*sub.Get(), u"inner"), std::string(5000, 'i'));
}

TEST(OleStorages, CopyToCopiesEverythingIntoAnotherFile) {
  TempDir dir;
  ComPtr<IStorage> source = CreateFile(dir.Wide("src.cfb"));
  ComPtr<IStorage> sub;
  ASSERT_EQ(source->CreateStorage(u"sub", kCreate, 0, 0, sub.Receive()), S_OK);
  WriteStream(*sub.Get(), u"deep", std::string(7000, 'd'));
  WriteStream(*source.Get(), u"top", "t");
  EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, sub.Get()), STG_E_ACCESSDENIED);
  sub.Reset();
  ComPtr<IStorage> dest = CreateFile(dir.Wide("dst.cfb"));
  ASSERT_EQ(source->CopyTo(0, nullptr, nullptr, dest.Get()), S_OK);
  EXPECT_EQ(ReadStream(*dest.Get(), u"top"), "t");
  ASSERT_EQ(dest->OpenStorage(u"sub", nullptr, kChildRead, nullptr, 0, sub.Receive()), S_OK);
  EXPECT_EQ(ReadStream(*sub.Get(), u"deep"), std::string(7000, 'd'));
}

TEST(OleStorages, TemporaryFileIsGoneAfterRelease) {
  ComPtr<IStorage> root;
  ASSERT_EQ(StgCreateDocfile(nullptr, kCreate | STGM_DELETEONRELEASE, 0, root.Receive()), S_OK);
  STATSTG stat;
  ASSERT_EQ(root->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  const std::string path = platform::WideToAnsi(stat.pwcsName, platform::CodePage::kAnsi);
  CoTaskMemFree(stat.pwcsName);
  WriteStream(*root.Get(), u"scratch", "data");
  EXPECT_TRUE(std::filesystem::exists(path));
  root.Reset();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(OleAllocator, TaskAllocatorFreesNames) {
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, malloc.Receive()), S_OK);
  void* p = CoTaskMemAlloc(10);
  ASSERT_NE(p, nullptr);
  malloc->Free(p);
  EXPECT_EQ(CoGetMalloc(0, malloc.Receive()), E_INVALIDARG);
}

}  // namespace
}  // namespace ole_test
