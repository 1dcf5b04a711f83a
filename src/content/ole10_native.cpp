#include "content/ole10_native.h"

#include "content/byte_reader.h"
#include "content/text_decoding.h"

namespace content {
namespace {

constexpr uint16_t kPackageSignature = 2;
constexpr uint16_t kEmbeddedFile = 3;

std::optional<std::string> ReadUnicodePath(ByteReader& reader) {
  const uint32_t units = reader.U32();
  const auto bytes = reader.Bytes(uint64_t{units} * 2);
  if (!reader.ok()) return std::nullopt;
  return Utf16LeToUtf8(bytes);
}

// The base name of the first non-empty path.
std::string FirstBaseName(std::initializer_list<std::string_view> paths) {
  for (std::string_view path : paths)
    if (!BaseName(path).empty()) return std::string(BaseName(path));
  return {};
}

std::optional<NativeObject> ParsePackage(std::span<const uint8_t> prefix, uint64_t nativeEnd,
                                         platform::CodePage ansi) {
  ByteReader reader(prefix, 4);
  const uint16_t signature = reader.U16();
  const auto label = reader.CString();
  const auto path = reader.CString();
  reader.Skip(2);
  const uint16_t kind = reader.U16();
  const uint32_t tempPathLength = reader.U32();
  const auto tempPath = reader.Bytes(tempPathLength);
  const uint32_t dataSize = reader.U32();
  if (!reader.ok() || signature != kPackageSignature || kind != kEmbeddedFile) return std::nullopt;
  const uint64_t dataOffset = reader.position();
  if (dataOffset > nativeEnd || dataSize > nativeEnd - dataOffset) return std::nullopt;
  const TextCodePage codePage{0, ansi};
  std::string name;
  // Newer packagers repeat the paths in UTF-16 after the data, where the
  // prefix may reach: the temporary path, the label, the source path.
  if (dataOffset + dataSize <= prefix.size()) {
    ByteReader unicode(prefix, static_cast<size_t>(dataOffset + dataSize));
    const auto wideTemp = ReadUnicodePath(unicode);
    const auto wideLabel = ReadUnicodePath(unicode);
    const auto widePath = ReadUnicodePath(unicode);
    if (unicode.ok()) name = FirstBaseName({*wideLabel, *widePath, *wideTemp});
  }
  if (name.empty()) {
    const std::string temp = EightBitToUtf8(tempPath, codePage);
    name = FirstBaseName({EightBitToUtf8(*label, codePage), EightBitToUtf8(*path, codePage), temp});
  }
  return NativeObject{name, dataOffset, dataSize};
}

}  // namespace

std::optional<NativeObject> ParseOle10Native(std::span<const uint8_t> prefix, uint64_t streamSize,
                                             platform::CodePage ansi) {
  ByteReader reader(prefix);
  const uint32_t nativeSize = reader.U32();
  if (!reader.ok() || prefix.size() > streamSize || nativeSize > streamSize - 4)
    return std::nullopt;
  if (auto package = ParsePackage(prefix, 4 + uint64_t{nativeSize}, ansi)) return package;
  return NativeObject{{}, 4, nativeSize};
}

}  // namespace content
