// Mail messages: the message as text, attachments under their names from
// either string form, attached messages as copies, and what a hostile
// message may not do.
#include <gtest/gtest.h>

#include "content/message_strings.h"
#include "content/views.h"
#include "content_samples.h"

namespace {

using content::PropertyStreamName;
using content::View;
using testing_support::AttachmentData;
using testing_support::FindViewsIn;
using testing_support::FixedPropertyStream;
using testing_support::MemoryElement;
using testing_support::NarrowProperty;
using testing_support::ReadLog;
using testing_support::Storage;
using testing_support::Stream;
using testing_support::UnicodeProperty;

constexpr uint64_t k20240501T123000 = 133590402000000000;
constexpr uint64_t k20230102T030405 = 133171022450000000;

TEST(MessageViews, TextAttachmentsUnderTheirNamesAndAttachedMessage) {
  const MemoryElement message = Storage(
      u"Root Entry",
      {FixedPropertyStream(32, {{0x00390040, k20240501T123000}, {0x3FFD0003, 1251}}),
       UnicodeProperty(0x0037, u"Quarterly report"), UnicodeProperty(0x0C1A, u"Anna M\u00FCller"),
       UnicodeProperty(0x5D01, u"anna@example.com"), UnicodeProperty(0x0E04, u"Bob; Carol"),
       UnicodeProperty(0x1000, u"Hello\r\nWorld"),
       Storage(u"__attach_version1.0_#00000000",
               {FixedPropertyStream(8, {}),
                UnicodeProperty(0x3707, u"\u041E\u0442\u0447\u0451\u0442.pdf"),
                UnicodeProperty(0x3704, u"OTCET~1.PDF"), AttachmentData(5000)}),
       // An 8-bit name, in the message's code page (1251).
       Storage(u"__attach_version1.0_#00000001",
               {NarrowProperty(0x3704, "\xCF\xF0\xE8.txt"), AttachmentData(10)}),
       Storage(u"__attach_version1.0_#00000002",
               {UnicodeProperty(0x3001, u"Fwd"),
                Storage(PropertyStreamName(0x3701, content::kPropObject),
                        {FixedPropertyStream(24, {}), UnicodeProperty(0x0037, u"Inner"),
                         UnicodeProperty(0x1000, u"body"),
                         Storage(u"__attach_version1.0_#00000000", {AttachmentData(300)})})}),
       Storage(u"__attach_version1.0_#00000003", {AttachmentData(7)}),
       // By reference: no data, no view.
       Storage(u"__attach_version1.0_#00000004", {UnicodeProperty(0x3707, u"link.txt")})});
  ReadLog log;
  const auto views = FindViewsIn(message, {}, &log);
  ASSERT_EQ(views.size(), 5u);

  EXPECT_EQ(views[0].kind, View::Kind::kText);
  EXPECT_EQ(views[0].name, "Quarterly report.txt");
  EXPECT_EQ(views[0].text,
            "Subject: Quarterly report\nFrom: Anna M\u00FCller <anna@example.com>\n"
            "To: Bob; Carol\nDate: 2024-05-01T12:30:00Z\n\nHello\r\nWorld\n");
  EXPECT_EQ(views[0].size, views[0].text.size());

  EXPECT_EQ(views[1].kind, View::Kind::kStreamSlice);
  EXPECT_EQ(views[1].name, "\u041E\u0442\u0447\u0451\u0442.pdf") << "the long name first";
  EXPECT_EQ(views[1].path, (std::vector<std::u16string>{u"__attach_version1.0_#00000000",
                                                        u"__substg1.0_37010102"}));
  EXPECT_EQ(views[1].offset, 0u);
  EXPECT_EQ(views[1].size, 5000u);
  EXPECT_LT(log.largestRead, 5000u) << "attachment data is sliced, not read";

  EXPECT_EQ(views[2].name, "\u041F\u0440\u0438.txt");

  EXPECT_EQ(views[3].kind, View::Kind::kMessageCopy);
  EXPECT_EQ(views[3].name, "Inner.msg");
  EXPECT_EQ(views[3].path, (std::vector<std::u16string>{u"__attach_version1.0_#00000002",
                                                        u"__substg1.0_3701000D"}));
  EXPECT_EQ(views[3].size, 24u + 10 + 8 + 300) << "the streams inside, nested ones too";

  EXPECT_EQ(views[4].name, "attachment 4");
}

TEST(MessageViews, EightBitTextRecipientsWithAddressesFromTheirStoragesAndDeliveryTime) {
  const MemoryElement message = Storage(
      u"Root Entry",
      {FixedPropertyStream(32, {{0x0E060040, k20230102T030405}, {0x3FDE0003, 1252}}),
       NarrowProperty(0x0037, "\xE9t\xE9"), NarrowProperty(0x0C1A, "Ren\xE9"),
       NarrowProperty(0x1000, "Line one\r\nLine two\r\n"),
       NarrowProperty(0x0E04, "Z\xFC"),
       Storage(u"__recip_version1.0_#00000000",
               {FixedPropertyStream(8, {{0x0C150003, 1}}), NarrowProperty(0x3001, "Z\xFC"),
                NarrowProperty(0x39FE, "z@example.com")}),
       Storage(u"__recip_version1.0_#00000001",
               {FixedPropertyStream(8, {{0x0C150003, 2}}), NarrowProperty(0x3001, "Copy")}),
       Storage(u"__recip_version1.0_#00000002",
               {FixedPropertyStream(8, {{0x0C150003, 3}}), NarrowProperty(0x3001, "Hidden")})});
  const auto views = FindViewsIn(message);
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0].name, "\u00E9t\u00E9.txt");
  EXPECT_EQ(views[0].text,
            "Subject: \u00E9t\u00E9\nFrom: Ren\u00E9\nTo: Z\u00FC <z@example.com>\nCc: Copy\n"
            "Date: 2023-01-02T03:04:05Z\n\nLine one\r\nLine two\r\n");
}

TEST(MessageViews, WithoutSubjectOrProperties) {
  const auto views = FindViewsIn(
      Storage(u"Root Entry", {FixedPropertyStream(32, {}), UnicodeProperty(0x1000, u"x")}));
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0].name, "message.txt");
  EXPECT_EQ(views[0].text, "\nx\n");
}

// Recipients and attachments have a property stream and properties of
// their own, yet are no messages to copy.
TEST(MessageViews, PartsOfADamagedMessageAreNoMessages) {
  const auto views = FindViewsIn(Storage(
      u"Root Entry",
      {FixedPropertyStream(32, {}),
       Storage(u"__attach_version1.0_#00000000",
               {FixedPropertyStream(8, {}), UnicodeProperty(0x3707, u"a.txt"), AttachmentData(3)}),
       Storage(u"__recip_version1.0_#00000000",
               {FixedPropertyStream(8, {}), UnicodeProperty(0x3001, u"Bob")})}));
  EXPECT_TRUE(views.empty());
}

TEST(TopLevelMessageProperties, WidensTheEmbeddedHeader) {
  std::vector<uint8_t> embedded(24 + 32);
  for (size_t i = 0; i < embedded.size(); ++i) embedded[i] = static_cast<uint8_t>(i + 1);
  const auto top = content::TopLevelMessageProperties(embedded);
  ASSERT_TRUE(top);
  ASSERT_EQ(top->size(), 32u + 32);
  EXPECT_TRUE(std::equal(embedded.begin(), embedded.begin() + 24, top->begin()));
  EXPECT_EQ(std::vector<uint8_t>(top->begin() + 24, top->begin() + 32), std::vector<uint8_t>(8, 0));
  EXPECT_TRUE(std::equal(embedded.begin() + 24, embedded.end(), top->begin() + 32));

  for (size_t size : {0u, 23u, 32u, 24u + 15u, 32u + 16u})
    EXPECT_FALSE(content::TopLevelMessageProperties(std::vector<uint8_t>(size))) << size;
}

TEST(MessageViews, HostileMessagesGiveFewerViewsAndNoHarm) {
  // Half an entry, a name stream that claims gigabytes, a data stream that
  // claims more than it holds (the slice says what the directory says).
  std::vector<uint8_t> ragged(32 + 16 + 7, 0x40);
  MemoryElement hugeName = UnicodeProperty(0x3707, u"big.bin");
  hugeName.claimedSize = uint64_t{1} << 40;
  MemoryElement lyingData = AttachmentData(3);
  lyingData.claimedSize = uint64_t{1} << 33;
  MemoryElement message =
      Storage(u"Root Entry", {Stream(std::u16string(content::kPropertiesStream), ragged),
                              UnicodeProperty(0x0037, u"s"),
                              Storage(u"__attach_version1.0_#00000000", {hugeName, lyingData})});
  for (int i = 0; i < 300; ++i)
    message.children.push_back(Storage(u"__attach_version1.0_#1" +
                                           std::u16string(1, u'A' + i % 26) +
                                           std::u16string(1, u'a' + i / 26),
                                       {AttachmentData(1)}));
  ReadLog log;
  content::ViewLimits limits;
  limits.maxChildren = 100;
  const auto views = FindViewsIn(message, limits, &log);
  ASSERT_GE(views.size(), 2u);
  EXPECT_EQ(views[1].name, "big.bin");
  EXPECT_EQ(views[1].size, uint64_t{1} << 33);
  EXPECT_LE(log.storagesOpened, limits.maxChildren) << "storages opened are capped";
  EXPECT_LE(log.largestRead, 64u << 10);

  limits = {};
  limits.maxViews = 3;
  EXPECT_EQ(FindViewsIn(message, limits).size(), 3u);
}

}  // namespace
