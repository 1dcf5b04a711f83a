// Writes the content fuzzers' first corpus: the streams the parsers read,
// whole (`parsers`), or trees of a mail message and of a document with
// embedded objects in the tree fuzzer's byte form (`views`).
//   content_make_seeds parsers|views DIR
#include <fstream>
#include <string>
#include <vector>

#include "content_samples.h"
#include "content_tree_codec.h"

namespace {

using namespace testing_support;

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

MemoryElement Message() {
  return Storage(
      u"Root Entry",
      {FixedPropertyStream(32, {{0x00390040, 133590402000000000}, {0x3FFD0003, 1252}}),
       UnicodeProperty(0x0037, u"Report"), NarrowProperty(0x1000, "Body\xE9\r\n"),
       Storage(u"__recip_version1.0_#00000000",
               {FixedPropertyStream(8, {{0x0C150003, 1}}), UnicodeProperty(0x3001, u"Bob")}),
       Storage(u"__attach_version1.0_#00000000",
               {FixedPropertyStream(8, {}), UnicodeProperty(0x3707, u"a.pdf"), AttachmentData(40)}),
       Storage(u"__attach_version1.0_#00000001",
               {Storage(u"__substg1.0_3701000D",
                        {FixedPropertyStream(24, {}), UnicodeProperty(0x0037, u"Inner")})})});
}

MemoryElement Document() {
  PackageFields wide;
  wide.wideLabel = u"notes.txt";
  return Storage(
      u"Root Entry",
      {Stream(u"WordDocument", std::vector<uint8_t>(64, 1)), SummaryStream("Plan"),
       Storage(u"ObjectPool",
               {Storage(u"_1234567890", {Stream(u"\x01"
                                                "CompObj",
                                                {1, 2}),
                                         Stream(u"\x01Ole10Native", PackageStream(wide))}),
                Storage(u"_1", {Stream(u"\x01"
                                       "CompObj",
                                       {1}),
                                Stream(u"Workbook", {1, 2, 3})})})});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string mode = argv[1], dir = std::string(argv[2]) + "/";
  if (mode == "parsers") {
    PackageFields wide;
    wide.wideLabel = u"C:\\x\\\u00E9t\u00E9.txt";
    Write(dir + "package", PackageStream(PackageFields{}));
    Write(dir + "package-unicode", PackageStream(wide));
    Write(dir + "summary", SummaryStream("Title").bytes);
    Write(dir + "properties", FixedPropertyStream(24, {{0x00390040, 1}, {0x3FFD0003, 1252}}).bytes);
    return 0;
  }
  if (mode != "views") return 2;
  for (const auto& [name, tree] :
       {std::pair{"message", Message()}, std::pair{"document", Document()}}) {
    std::vector<uint8_t> bytes;
    content_fuzz::Encode(tree, bytes);
    Write(dir + name, bytes);
  }
  return 0;
}
