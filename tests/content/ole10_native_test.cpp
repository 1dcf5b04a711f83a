// Packaged files in \x01Ole10Native streams: named by the packager's header,
// the UTF-16 names preferred; other native data whole; lying sizes refused.
#include "content/ole10_native.h"

#include <gtest/gtest.h>

#include "content_samples.h"

namespace {

using content::NativeObject;
using content::ParseOle10Native;
using testing_support::ByteWriter;
using testing_support::PackageFields;
using testing_support::PackageStream;

std::optional<NativeObject> Parse(const std::vector<uint8_t>& stream) {
  return ParseOle10Native(stream, stream.size(), platform::CodePage::kAnsi);
}

TEST(Ole10Native, PackagedFileUnderTheBaseNameOfItsLabel) {
  const PackageFields package;
  const auto stream = PackageStream(package);
  const auto object = Parse(stream);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->fileName, "report.pdf");
  EXPECT_EQ(object->size, 100u);
  EXPECT_EQ(object->offset, stream.size() - 100);
  EXPECT_EQ(stream[object->offset], 0xD7);

  PackageFields pathOnly;
  pathOnly.label.clear();
  pathOnly.path = "D:/data/table.csv";
  EXPECT_EQ(Parse(PackageStream(pathOnly))->fileName, "table.csv");

  PackageFields wide;
  wide.label = "?????.txt";
  wide.wideLabel = u"C:\\x\\\u041E\u0442\u0447\u0451\u0442.txt";
  EXPECT_EQ(Parse(PackageStream(wide))->fileName, "\u041E\u0442\u0447\u0451\u0442.txt");
}

TEST(Ole10Native, OnlyThePrefixOfALargeStreamIsNeeded) {
  PackageFields package;
  package.claimedData = 50'000'000;
  auto stream = PackageStream(package);
  const uint64_t streamSize = stream.size() - 100 + 50'000'000;
  ByteWriter size;  // the native size, patched to the whole stream's
  size.U32(static_cast<uint32_t>(streamSize - 4));
  std::copy(size.bytes().begin(), size.bytes().end(), stream.begin());
  const auto object = ParseOle10Native(stream, streamSize, platform::CodePage::kAnsi);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->fileName, "report.pdf");
  EXPECT_EQ(object->size, 50'000'000u);
}

TEST(Ole10Native, OtherNativeDataWholeAndLyingSizesRefused) {
  // Not the packager's: the native data as it is.
  ByteWriter paint;
  paint.U32(6).Raw("BMxxxx");
  auto object = Parse(paint.bytes());
  ASSERT_TRUE(object);
  EXPECT_EQ(object->fileName, "");
  EXPECT_EQ(object->offset, 4u);
  EXPECT_EQ(object->size, 6u);

  // A packaged file that claims more than the native data holds, or a
  // header cut off, leaves the native data.
  PackageFields lying;
  lying.claimedData = 101;
  object = Parse(PackageStream(lying));
  ASSERT_TRUE(object);
  EXPECT_EQ(object->fileName, "");
  auto truncated = PackageStream(PackageFields{});
  truncated.resize(12);
  EXPECT_EQ(ParseOle10Native(truncated, 1000, platform::CodePage::kAnsi)->fileName, "");

  // A native size past the stream: nothing.
  ByteWriter tooLong;
  tooLong.U32(0xFFFFFFFF).Raw("abc");
  EXPECT_FALSE(Parse(tooLong.bytes()));
  EXPECT_FALSE(Parse({1, 2}));
  auto stream = PackageStream(PackageFields{});
  EXPECT_FALSE(ParseOle10Native(stream, stream.size() - 1, platform::CodePage::kAnsi))
      << "a prefix longer than the stream";
}

}  // namespace
