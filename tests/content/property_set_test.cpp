// Property sets as text: names for the known ids and from the dictionary,
// strings through the set's code page, dates and the edit time, vectors;
// hostile sets give fewer lines and no harm.
#include "content/property_set.h"

#include <gtest/gtest.h>

#include "content/guid.h"
#include "content_samples.h"

namespace {

using content::Guid;
using content::MakeGuid;
using testing_support::ByteWriter;

const Guid kSummary = testing_support::kSummaryFormat;
const Guid kDocumentSummary =
    MakeGuid(0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});
const Guid kUserDefined =
    MakeGuid(0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});

constexpr uint64_t k20240501T123000 = 133590402000000000;

struct Property {
  Property(uint32_t id, std::vector<uint8_t> value, std::optional<uint32_t> offset = std::nullopt)
      : id(id), value(std::move(value)), offset(offset) {}
  uint32_t id;
  std::vector<uint8_t> value;      // type word and value
  std::optional<uint32_t> offset;  // instead of where it lies
};

std::vector<uint8_t> Typed(uint16_t type, ByteWriter value) {
  ByteWriter out;
  out.U16(type).U16(0).Raw(value.bytes()).PadTo4();
  return out.bytes();
}

std::vector<uint8_t> I2(int16_t v) { return Typed(2, ByteWriter().U16(static_cast<uint16_t>(v))); }
std::vector<uint8_t> I4(int32_t v) { return Typed(3, ByteWriter().U32(static_cast<uint32_t>(v))); }
std::vector<uint8_t> Bool(bool v) { return Typed(11, ByteWriter().U16(v ? 0xFFFF : 0)); }
std::vector<uint8_t> FileTime(uint64_t v) { return Typed(64, ByteWriter().U64(v)); }
std::vector<uint8_t> Lpstr(std::string_view bytes) {
  return Typed(30, ByteWriter().U32(static_cast<uint32_t>(bytes.size() + 1)).Raw(bytes).U8(0));
}
std::vector<uint8_t> Lpwstr(std::u16string_view text) {
  return Typed(31, ByteWriter().U32(static_cast<uint32_t>(text.size() + 1)).Utf16(text).U16(0));
}

std::vector<uint8_t> PropertySet(std::vector<std::pair<Guid, std::vector<Property>>> sections) {
  ByteWriter out;
  out.U16(0xFFFE).U16(0).U32(0x00020006).Raw(std::string(16, '\0'));
  out.U32(static_cast<uint32_t>(sections.size()));
  const size_t offsetsAt = out.size();
  for (const auto& [format, properties] : sections)
    out.Raw(std::vector<uint8_t>(format.begin(), format.end())).U32(0);
  for (size_t s = 0; s < sections.size(); ++s) {
    const auto& properties = sections[s].second;
    const size_t start = out.size();
    out.PatchU32(offsetsAt + s * 20 + 16, static_cast<uint32_t>(start));
    ByteWriter section;
    section.U32(0).U32(static_cast<uint32_t>(properties.size()));
    uint32_t at = 8 + 8 * static_cast<uint32_t>(properties.size());
    for (const auto& p : properties) {
      section.U32(p.id).U32(p.offset.value_or(at));
      at += static_cast<uint32_t>(p.value.size());
    }
    for (const auto& p : properties) section.Raw(p.value);
    section.PatchU32(0, static_cast<uint32_t>(section.size()));
    out.Raw(section.bytes());
  }
  return out.bytes();
}

std::string Text(const std::vector<uint8_t>& stream) {
  return content::PropertySetText(stream, platform::CodePage::kAnsi).value_or("<none>");
}

TEST(PropertySetText, SummaryWithCodePage1252) {
  const auto stream =
      PropertySet({{kSummary,
                    {{1, I2(1252)},
                     {2, Lpstr("\xC9t\xE9 report")},
                     {4, Lpstr("Ann\nLee")},
                     {10, FileTime(uint64_t{2 * 3600 + 3 * 60 + 4} * 10'000'000)},
                     {12, FileTime(k20240501T123000)},
                     {13, FileTime(0)},  // never saved: no line
                     {14, I4(3)},
                     {17, Typed(71, ByteWriter().U32(4).U32(0))},  // a thumbnail
                     {19, I4(0)},
                     {0x80000000, I4(1033)},  // the locale says how to read, shows nothing
                     {99, Bool(true)}}}});
  EXPECT_EQ(Text(stream),
            "Title: \u00C9t\u00E9 report\nAuthor: Ann Lee\nEdit time: 2:03:04\n"
            "Created: 2024-05-01T12:30:00Z\nPages: 3\nSecurity: 0\nProperty 99: yes\n");
}

TEST(PropertySetText, Utf8AndUtf16CodePages) {
  EXPECT_EQ(Text(PropertySet({{kSummary, {{1, I2(-535)}, {3, Lpstr("\xD0\x96\xC3\xA9")}}}})),
            "Subject: \u0416\u00E9\n")
      << "65001 stored as a signed two-byte integer";
  const auto utf16 = ByteWriter().Utf16(u"\u0416x").U16(0).bytes();
  EXPECT_EQ(Text(PropertySet({{kSummary,
                               {{1, I2(1200)},
                                {5, Typed(30, ByteWriter().U32(6).Raw(utf16))},
                                {6, Lpwstr(u"\u4E2D")}}}})),
            "Keywords: \u0416x\nComments: \u4E2D\n");
}

TEST(PropertySetText, DocumentSummaryAndUserDefinedDictionary) {
  ByteWriter dictionary;
  dictionary.U32(2)
      .U32(2)
      .U32(7)
      .Raw("Client")
      .U8(0)
      .U32(3)
      .U32(4)
      .Raw(
          "D\xFC"
          "e")
      .U8(0)
      .PadTo4();
  ByteWriter headingPairs;  // a vector of variants: "Title", 1
  headingPairs.U32(2).U16(30).U16(0).U32(6).Raw("Title").U8(0).PadTo4().U16(3).U16(0).U32(1);
  ByteWriter parts;  // a vector of 8-bit strings
  parts.U32(2).U32(2).Raw("A").U8(0).PadTo4().U32(3).Raw("Bc").U8(0).PadTo4();
  const auto stream = PropertySet({{kDocumentSummary,
                                    {{1, I2(1252)},
                                     {15, Lpstr("ACME")},
                                     {12, Typed(0x100C, headingPairs)},
                                     {13, Typed(0x101E, parts)},
                                     {23, I4(0x100000)}}},
                                   {kUserDefined,
                                    {{0, dictionary.bytes()},
                                     {1, I2(1252)},
                                     {2, Lpstr("Globex")},
                                     {3, FileTime(k20240501T123000)},
                                     {4, I4(-5)}}}});
  EXPECT_EQ(Text(stream),
            "Company: ACME\nHeading pairs: Title; 1\nTitles of parts: A; Bc\n"
            "Application version: 1048576\nClient: Globex\nD\u00FCe: 2024-05-01T12:30:00Z\n"
            "Property 4: -5\n");
}

// Excel 97 to 2000 pad no string inside a vector, so what follows one
// may start at any byte.
TEST(PropertySetText, VectorsOfUnpaddedStrings) {
  ByteWriter parts;
  parts.U32(2).U32(2).Raw("A").U8(0).U32(4).Raw("Bcd").U8(0);
  ByteWriter pairs;
  pairs.U32(2).U16(30).U16(0).U32(3).Raw("ab").U8(0).U16(3).U16(0).U32(1);
  std::vector<uint8_t> unpadded = Typed(0x101E, parts);
  unpadded.resize(unpadded.size() - 2);  // as written: the next property follows at once
  EXPECT_EQ(Text(PropertySet({{kDocumentSummary,
                               {{13, unpadded}, {12, Typed(0x100C, pairs)}, {14, Lpstr("M")}}}})),
            "Titles of parts: A; Bcd\nHeading pairs: ab; 1\nManager: M\n");
}

TEST(PropertySetText, HostileSetsGiveFewerLinesAndNoHarm) {
  EXPECT_EQ(Text({}), "<none>");
  EXPECT_EQ(Text(std::vector<uint8_t>(48, 0)), "<none>") << "no byte-order mark";
  auto valid = PropertySet({{kSummary, {{2, Lpstr("t")}}}});
  EXPECT_EQ(Text(valid), "Title: t\n");
  for (size_t cut = 0; cut < valid.size(); ++cut)
    (void)Text(std::vector<uint8_t>(valid.begin(), valid.begin() + static_cast<ptrdiff_t>(cut)));

  // A string that claims four gigabytes, a vector of millions, an offset
  // past the section, next to a property that is fine.
  const auto stream = PropertySet({{kSummary,
                                    {{2, Typed(30, ByteWriter().U32(0xFFFFFFF0).Raw("abc"))},
                                     {3, Typed(0x1003, ByteWriter().U32(5'000'000).U32(1).U32(2))},
                                     {4, I4(1), 0x7FFFFFF0},
                                     {5, Lpstr("kept")}}}});
  EXPECT_EQ(Text(stream), "Keywords: kept\n");

  // A section that claims millions of properties but holds two.
  auto many = PropertySet({{kSummary, {{14, I4(7)}, {15, I4(8)}}}});
  ByteWriter count;
  count.U32(50'000'000);
  std::copy(count.bytes().begin(), count.bytes().end(), many.begin() + 48 + 4);
  EXPECT_TRUE(Text(many).starts_with("Pages: 7\nWords: 8\n"))
      << "values read as entries show as what they say";

  // Many entries that all point at one long string: the text stays bounded.
  std::vector<Property> aliases{{2, Lpstr(std::string(60000, 'x'))}};
  for (uint32_t i = 0; i < 5000; ++i) aliases.push_back({100 + i, {}, 8 + 8 * 5001});
  const std::string text = Text(PropertySet({{kSummary, aliases}}));
  EXPECT_LE(text.size(), content::kMaxPropertySetText);
  EXPECT_GT(text.size(), content::kMaxPropertySetText / 2);
}

}  // namespace
