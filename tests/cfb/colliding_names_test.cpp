// Siblings whose names differ only in case are out of the format's rules,
// but other writers produce them and other readers list them. The engine
// keeps every one reachable under its own name, and an edit of their storage
// never drops one it did not touch.
#include <gtest/gtest.h>

#include <algorithm>

#include "cfb/compound_file.h"
#include "cfb/error.h"
#include "raw_file.h"
#include "test_files.h"
#include "tool_runner.h"

namespace cfb::testing {
namespace {

std::string ContentOf(CompoundFile& file, uint32_t id) {
  std::string bytes(file.Entry(id).size(), '\0');
  file.Read(id, 0, bytes.data(), bytes.size());
  return bytes;
}

std::vector<std::u16string> NamesIn(CompoundFile& file, uint32_t storage) {
  std::vector<std::u16string> names;
  for (uint32_t id : file.Children(storage)) names.emplace_back(file.Entry(id).name());
  std::sort(names.begin(), names.end());
  return names;
}

// Streams whose content is their own name, and two storages, renamed
// afterwards into names that collide in case.
class CollidingFile {
 public:
  explicit CollidingFile(const std::string& path) : path_(path) {
    auto file = CompoundFile::Create(path, false);
    for (const char16_t* name :
         {u"Readme", u"READMX", u"readmy", u"\u03A3x", u"\u03C3y", u"\u03C2z"})
      AddStream(*file, kRootId, name);
    AddStream(*file, file->CreateElement(kRootId, u"Dir", EntryType::kStorage), u"inDir");
    AddStream(*file, file->CreateElement(kRootId, u"DIQ", EntryType::kStorage), u"inDIR");
    file->Commit();
    file.reset();
    RawFile raw(path);
    for (auto [id, name] : ids_) {
      if (name == u"READMX") raw.SetName(id, u"README");
      if (name == u"readmy") raw.SetName(id, u"readme");
      if (name == u"\u03C3y") raw.SetName(id, u"\u03C3x");
      if (name == u"\u03C2z") raw.SetName(id, u"\u03C2x");
      if (name == u"DIQ") raw.SetName(id, u"DIR");
    }
    raw.Save();
  }

 private:
  void AddStream(CompoundFile& file, uint32_t storage, std::u16string name) {
    const uint32_t id = file.CreateElement(storage, name, EntryType::kStream);
    const std::string content = Utf8(name);
    file.Write(id, 0, content.data(), content.size());
    ids_.emplace_back(id, std::move(name));
    if (storage != kRootId) ids_.emplace_back(storage, file.Entry(storage).name());
  }

  std::string path_;
  std::vector<std::pair<uint32_t, std::u16string>> ids_;
};

const std::vector<std::u16string> kRootNames = {u"DIR",    u"Dir",     u"README",  u"Readme",
                                                u"readme", u"\u03A3x", u"\u03C2x", u"\u03C3x"};

TEST(CollidingNames, EverySiblingStaysReachableAndSurvivesEdits) {
  TempDir dir;
  const std::string path = dir.File("colliding.doc");
  CollidingFile build(path);

  auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
  EXPECT_EQ(NamesIn(*file, kRootId), kRootNames);
  // Each name finds its own element, whatever its case-folded neighbours.
  EXPECT_EQ(ContentOf(*file, file->Find(kRootId, u"README")), "READMX");
  EXPECT_EQ(ContentOf(*file, file->Find(kRootId, u"readme")), "readmy");
  EXPECT_EQ(ContentOf(*file, file->Find(kRootId, u"Readme")), "Readme");
  EXPECT_EQ(ContentOf(*file, file->Find(kRootId, u"\u03C2x")), Utf8(u"\u03C2z"));
  EXPECT_EQ(NamesIn(*file, file->Find(kRootId, u"DIR")), std::vector<std::u16string>{u"inDIR"});
  EXPECT_NE(file->Find(kRootId, u"rEADME"), kNoStream);  // still found without regard to case

  // An edit of their storage: one added, one deleted.
  const uint32_t added = file->CreateElement(kRootId, u"added", EntryType::kStream);
  file->Write(added, 0, "new", 3);
  file->DestroyElement(file->Find(kRootId, u"Readme"));
  file->Commit();
  file.reset();

  file = CompoundFile::Open(path, CompoundFile::Access::kRead, ShareLock::kShared);
  std::vector<std::u16string> expected = kRootNames;
  expected.erase(std::find(expected.begin(), expected.end(), u"Readme"));
  expected.insert(expected.begin(), u"added");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(NamesIn(*file, kRootId), expected);
  EXPECT_EQ(ContentOf(*file, file->Find(kRootId, u"README")), "READMX");
  EXPECT_EQ(ContentOf(*file, file->Find(kRootId, u"readme")), "readmy");
  EXPECT_EQ(NamesIn(*file, file->Find(kRootId, u"DIR")), std::vector<std::u16string>{u"inDIR"});
  file.reset();

  // Other readers still see every element, with nothing left over.
  if (HaveTool("/usr/bin/python3")) {
    const Listing listed = ListWithOlefile(path);
    EXPECT_EQ(listed.size(), expected.size() + 2) << ::testing::PrintToString(listed);
  }
}

TEST(CollidingNames, ExactDuplicatesAreListedButNeverPickedAtRandom) {
  TempDir dir;
  const std::string path = dir.File("twins.doc");
  {
    auto file = CompoundFile::Create(path, false);
    for (const char16_t* name : {u"twin1", u"twin2"}) {
      const uint32_t id = file->CreateElement(kRootId, name, EntryType::kStream);
      file->Write(id, 0, "x", 1);
    }
    file->Commit();
  }
  RawFile raw(path);
  raw.SetName(2, u"twin1");
  raw.Save();

  auto file = CompoundFile::Open(path, CompoundFile::Access::kReadWrite, ShareLock::kExclusive);
  EXPECT_EQ(file->Children(kRootId).size(), 2u);
  EXPECT_EQ(file->Find(kRootId, u"twin1"), kAmbiguous);
  EXPECT_THROW(file->CreateElement(kRootId, u"TWIN1", EntryType::kStream), Error);
}

// A look-up without regard to case finds a name on either side of where the
// probe would stand, also across the blocks a large storage keeps its
// children in.
TEST(CollidingNames, EveryChildOfALargeStorageIsFoundInAnyCase) {
  TempDir dir;
  auto file = CompoundFile::Create(dir.File("wide.doc"), false);
  constexpr int kChildren = 5000;
  const auto number = [](int i) { return Utf16(std::to_string(i)); };
  std::vector<uint32_t> ids;
  for (int i = 0; i < kChildren; ++i)
    ids.push_back(file->CreateElement(kRootId, (i % 2 ? u"Item" : u"ITEM") + number(i), EntryType::kStream));
  for (int i = 0; i < kChildren; ++i) {
    // Upper case sorts before lower case: half the probes stand before
    // their child, half after it.
    const std::u16string probe = (i % 2 ? u"ITEM" : u"item") + number(i);
    ASSERT_EQ(file->Find(kRootId, probe), ids[i]) << i;
  }
  EXPECT_EQ(file->Find(kRootId, u"ITEM" + number(kChildren)), kNoStream);
  // A new name is refused when a child holds it in another case, on
  // either side of the place the new name would take.
  for (int i = 0; i < kChildren; i += 97)
    EXPECT_THROW(file->CreateElement(kRootId, (i % 2 ? u"ITEM" : u"item") + number(i), EntryType::kStream),
                 Error)
        << i;
  EXPECT_EQ(file->Children(kRootId).size(), size_t{kChildren});
}

}  // namespace
}  // namespace cfb::testing
