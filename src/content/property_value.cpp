#include "content/property_value.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "content/file_time.h"
#include "content/guid.h"
#include "rtl/format.h"

namespace content {
namespace {

enum VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kI2 = 2,
  kI4 = 3,
  kR4 = 4,
  kR8 = 5,
  kCurrency = 6,
  kDate = 7,
  kBstr = 8,
  kError = 10,
  kBool = 11,
  kVariant = 12,
  kI1 = 16,
  kUI1 = 17,
  kUI2 = 18,
  kUI4 = 19,
  kI8 = 20,
  kUI8 = 21,
  kInt = 22,
  kUInt = 23,
  kLpstr = 30,
  kLpwstr = 31,
  kFileTime = 64,
  kClsid = 72,
  kVector = 0x1000,
};

// Days from 1601-01-01 to 1899-12-30, where VT_DATE counts from.
constexpr double kDaysTo1899 = 109205;
constexpr double kTicksPerDay = 864e9;

std::string Cut(std::string text) {
  if (text.size() > kMaxShownValueBytes) text.resize(kMaxShownValueBytes);
  return text;
}

std::optional<std::string> ReadString(ByteReader& reader, uint16_t type,
                                      const TextCodePage& codePage) {
  const uint32_t count = reader.U32();
  // UTF-16 counts characters; 8-bit strings (UTF-16 ones too when the set's
  // code page is 1200) count bytes.
  const uint64_t bytes = type == kLpwstr ? uint64_t{count} * 2 : count;
  const auto data = reader.Bytes(bytes);
  reader.SkipPadding();
  if (!reader.ok()) return std::nullopt;
  const auto shown = data.first(std::min<size_t>(data.size(), kMaxShownValueBytes));
  return Cut(OnOneLine(type == kLpwstr ? Utf16LeToUtf8(shown) : EightBitToUtf8(shown, codePage)));
}

std::optional<std::string> ReadFileTime(ByteReader& reader, TimeMeaning time) {
  const uint64_t ticks = reader.U64();
  if (!reader.ok()) return std::nullopt;
  if (time == TimeMeaning::kDuration) return DurationText(ticks);
  return IsoUtcTime(ticks);
}

std::optional<std::string> ReadOleDate(ByteReader& reader) {
  const uint64_t bits = reader.U64();
  double days;
  static_assert(sizeof days == sizeof bits);
  std::memcpy(&days, &bits, sizeof days);
  if (!reader.ok() || !std::isfinite(days) || days <= -kDaysTo1899 || days > 3e6)
    return std::nullopt;
  return IsoUtcTime(static_cast<uint64_t>((days + kDaysTo1899) * kTicksPerDay));
}

// Called with the value already read, so ok() tells whether it was there.
template <typename Integer>
std::optional<std::string> Number(const ByteReader& reader, Integer value) {
  if (!reader.ok()) return std::nullopt;
  return std::to_string(value);
}

template <typename Float, typename Bits>
std::string FloatText(Bits bits) {
  Float value;
  static_assert(sizeof value == sizeof bits);
  std::memcpy(&value, &bits, sizeof value);
  return rtl::Format("%g", static_cast<double>(value));
}

// One value of a scalar type, as it stands alone or in a vector; the reader
// ends past it, padded to four bytes where the value's type pads.
std::optional<std::string> ReadScalar(ByteReader& reader, uint16_t type,
                                      const TextCodePage& codePage, TimeMeaning time) {
  switch (type) {
    case kI1:
      return Number(reader, static_cast<int8_t>(reader.U8()));
    case kUI1:
      return Number(reader, reader.U8());
    case kI2:
      return Number(reader, static_cast<int16_t>(reader.U16()));
    case kUI2:
      return Number(reader, reader.U16());
    case kI4:
    case kInt:
    case kError:
      return Number(reader, static_cast<int32_t>(reader.U32()));
    case kUI4:
    case kUInt:
      return Number(reader, reader.U32());
    case kI8:
      return Number(reader, static_cast<int64_t>(reader.U64()));
    case kUI8:
      return Number(reader, reader.U64());
    case kBool: {
      const uint16_t value = reader.U16();
      return reader.ok() ? std::optional<std::string>(value ? "yes" : "no") : std::nullopt;
    }
    case kR4: {
      const uint32_t bits = reader.U32();
      return reader.ok() ? std::optional(FloatText<float>(bits)) : std::nullopt;
    }
    case kR8: {
      const uint64_t bits = reader.U64();
      return reader.ok() ? std::optional(FloatText<double>(bits)) : std::nullopt;
    }
    case kCurrency: {
      const auto value = static_cast<int64_t>(reader.U64());
      if (!reader.ok()) return std::nullopt;
      const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
      return rtl::Format("%s%llu.%04llu", value < 0 ? "-" : "",
                         static_cast<unsigned long long>(magnitude / 10000),
                         static_cast<unsigned long long>(magnitude % 10000));
    }
    case kDate:
      return ReadOleDate(reader);
    case kFileTime:
      return ReadFileTime(reader, time);
    case kBstr:
    case kLpstr:
    case kLpwstr:
      return ReadString(reader, type, codePage);
    case kClsid: {
      const auto bytes = reader.Bytes(16);
      return reader.ok() ? std::optional(GuidText(GuidFrom(bytes))) : std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

// A vector's elements, "a; b; c", the first kMaxShownVectorElements of them.
std::optional<std::string> ReadVector(ByteReader& reader, uint16_t elementType,
                                      const TextCodePage& codePage, TimeMeaning time) {
  const uint32_t count = reader.U32();
  if (!reader.ok()) return std::nullopt;
  std::string text;
  for (uint32_t i = 0; i < count && i < kMaxShownVectorElements; ++i) {
    uint16_t type = elementType;
    if (type == kVariant) {
      type = reader.U16();
      reader.Skip(2);
    }
    const auto element = ReadScalar(reader, type, codePage, time);
    if (!element) return std::nullopt;
    // Short elements pack, except inside variants, which pad each.
    if (elementType == kVariant) reader.SkipPadding();
    if (i) text += "; ";
    text += *element;
    if (text.size() > kMaxShownValueBytes) return Cut(std::move(text));
  }
  if (count > kMaxShownVectorElements) text += "; ...";
  return text;
}

}  // namespace

std::optional<std::string> ReadPropertyValue(ByteReader& reader, const TextCodePage& codePage,
                                             TimeMeaning time) {
  const uint16_t type = reader.U16();
  reader.Skip(2);
  if (!reader.ok()) return std::nullopt;
  if (type & kVector) return ReadVector(reader, type & ~kVector, codePage, time);
  return ReadScalar(reader, type, codePage, time);
}

}  // namespace content
