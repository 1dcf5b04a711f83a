// The search through a document's tree: embedded documents as copies named
// by content or class id, packaged files, property sets at the root and
// below, and the limits that bound a hostile tree.
#include <gtest/gtest.h>

#include "content/guid.h"
#include "content/views.h"
#include "content_samples.h"

namespace {

using content::View;
using testing_support::ByteWriter;
using testing_support::FindViewsIn;
using testing_support::MemoryElement;
using testing_support::ReadLog;
using testing_support::Storage;
using testing_support::Stream;
using testing_support::SummaryStream;

using Path = std::vector<std::u16string>;

MemoryElement Bytes(std::u16string name, size_t size) {
  return Stream(std::move(name), std::vector<uint8_t>(size, 1));
}

MemoryElement CompObj() {
  return Bytes(
      u"\x01"
      "CompObj",
      20);
}

MemoryElement Package(std::string_view label, size_t dataSize) {
  testing_support::PackageFields fields;
  fields.label = label;
  fields.path = label;
  fields.data.assign(dataSize, 7);
  return Stream(u"\x01Ole10Native", testing_support::PackageStream(fields));
}

MemoryElement WithClass(MemoryElement storage, const content::Guid& clsid) {
  storage.clsid = clsid;
  return storage;
}

TEST(FindViews, EmbeddedObjectsOfADocument) {
  const MemoryElement document = Storage(
      u"Root Entry",
      {Bytes(u"WordDocument", 4096), SummaryStream("Plan"),
       Storage(u"ObjectPool",
               {Storage(u"_1", {CompObj(), Bytes(u"Workbook", 1000), SummaryStream("inner")}),
                Storage(u"_2", {CompObj(), Package("C:\\tmp\\data.csv", 33)}),
                WithClass(Storage(u"_3", {CompObj(), Bytes(u"CONTENTS", 5)}),
                          content::OleClassId(0x00020906)),
                Storage(u"_4", {CompObj()}), Storage(u"_5", {Bytes(u"nothing", 1)})}),
       Storage(u"MBD00000001", {CompObj(), Bytes(u"PowerPoint Document", 9)}),
       Storage(u"Sub", {SummaryStream("nested")})});
  const auto views = FindViewsIn(document);
  ASSERT_EQ(views.size(), 7u);
  EXPECT_EQ(views[0].kind, View::Kind::kStorageCopy);
  EXPECT_EQ(views[0].name, "_1.xls");
  EXPECT_EQ(views[0].path, (Path{u"ObjectPool", u"_1"}));
  EXPECT_EQ(views[0].size, 20u + 1000 + SummaryStream("inner").bytes.size())
      << "the streams inside";
  EXPECT_EQ(views[1].kind, View::Kind::kStreamSlice);
  EXPECT_EQ(views[1].name, "data.csv");
  EXPECT_EQ(views[1].path, (Path{u"ObjectPool", u"_2", u"\x01Ole10Native"}));
  EXPECT_EQ(views[1].size, 33u);
  EXPECT_EQ(views[2].name, "_3.doc") << "by its class id";
  EXPECT_EQ(views[3].name, "_4.ole") << "an object of no known kind";
  EXPECT_EQ(views[4].name, "MBD00000001.ppt");
  EXPECT_EQ(views[5].name, "Sub SummaryInformation.txt");
  EXPECT_EQ(views[5].text, "Title: nested\n");
  EXPECT_EQ(views[6].name, "SummaryInformation.txt");
  EXPECT_EQ(views[6].text, "Title: Plan\n");
}

TEST(FindViews, AFileThatIsOnePackagedObject) {
  const auto views = FindViewsIn(Storage(u"Root Entry", {CompObj(), Package("notes.txt", 5)}));
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0].name, "notes.txt");
  EXPECT_EQ(views[0].path, (Path{u"\x01Ole10Native"}));

  ByteWriter other;
  other.U32(3).Raw("abc");
  const auto raw = FindViewsIn(Storage(
      u"Root Entry", {Storage(u"_9", {CompObj(), Stream(u"\x01Ole10Native", other.bytes())})}));
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(raw[0].name, "_9.bin");
  EXPECT_EQ(raw[0].offset, 4u);
}

// Storages nested deeper than the limit are not searched; a tree of many
// storages is searched only as far as the number one storage may hold.
TEST(FindViews, DepthAndBreadthAreBounded) {
  MemoryElement deep = Storage(u"bottom", {CompObj(), Package("deep.txt", 3)});
  for (int level = 0; level < 40; ++level) deep = Storage(u"level", {deep});
  content::ViewLimits limits;
  EXPECT_TRUE(FindViewsIn(Storage(u"Root Entry", {deep}), limits).empty());
  limits.maxDepth = 41;
  EXPECT_EQ(FindViewsIn(Storage(u"Root Entry", {deep}), limits).size(), 1u);

  MemoryElement wide = Storage(u"Root Entry", {});
  for (int i = 0; i < 500; ++i)
    wide.children.push_back(Storage(
        u"s" + std::u16string(1, u'A' + i % 26) + std::u16string(1, u'A' + i / 26), {CompObj()}));
  ReadLog log;
  limits = {};
  limits.maxChildren = 200;
  limits.maxViews = 150;
  EXPECT_EQ(FindViewsIn(wide, limits, &log).size(), 150u);
  EXPECT_LE(log.storagesOpened, 200u);
}

}  // namespace
