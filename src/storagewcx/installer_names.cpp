#include "storagewcx/installer_names.h"

#include <algorithm>
#include <array>

namespace storagewcx {
namespace {

constexpr char16_t kPairBase = 0x3800;
constexpr char16_t kSingleBase = 0x4800;
constexpr char16_t kTableMark = 0x4840;
constexpr char16_t kTablePrefix = u'!';
constexpr int kNoLetter = -1;

constexpr std::u16string_view kAlphabet =
    u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";

int LetterValue(char16_t c) {
  const size_t at = c < 0x80 ? kAlphabet.find(c) : kAlphabet.npos;
  return at == kAlphabet.npos ? kNoLetter : static_cast<int>(at);
}

}  // namespace

std::u16string EncodeInstallerName(std::u16string_view name) {
  if (!name.empty() && name.front() < 0x20) return std::u16string(name);
  std::u16string out;
  out.reserve(name.size());
  size_t i = 0;
  if (!name.empty() && name.front() == kTablePrefix) {
    out += kTableMark;
    i = 1;
  }
  while (i < name.size()) {
    const int first = LetterValue(name[i]);
    if (first == kNoLetter) {
      out += name[i++];
      continue;
    }
    const int second = i + 1 < name.size() ? LetterValue(name[i + 1]) : kNoLetter;
    if (second == kNoLetter) {
      out += static_cast<char16_t>(kSingleBase + first);
      i += 1;
    } else {
      out += static_cast<char16_t>(kPairBase + first + (second << 6));
      i += 2;
    }
  }
  return out;
}

std::optional<std::u16string> DecodeInstallerName(std::u16string_view stored) {
  std::u16string out;
  out.reserve(stored.size() * 2);
  size_t i = 0;
  if (!stored.empty() && stored.front() == kTableMark) {
    out += kTablePrefix;
    i = 1;
  }
  for (; i < stored.size(); ++i) {
    const char16_t c = stored[i];
    if (c >= kPairBase && c < kSingleBase) {
      out += kAlphabet[(c - kPairBase) & 0x3F];
      out += kAlphabet[(c - kPairBase) >> 6];
    } else if (c >= kSingleBase && c < kTableMark) {
      out += kAlphabet[c - kSingleBase];
    } else {
      out += c;
    }
  }
  if (EncodeInstallerName(out) != stored) return std::nullopt;
  return out;
}

bool IsInstallerTableName(std::u16string_view stored) {
  return !stored.empty() && stored.front() == kTableMark && DecodeInstallerName(stored).has_value();
}

bool IsInstallerClass(const CLSID& clsid) {
  // {000C10xx-0000-0000-C000-000000000046}: 84 database, 86 patch, 82
  // transform, as msitools and Windows Installer write them.
  static constexpr std::array<uint8_t, 8> kTail = {0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  const bool family = clsid.Data2 == 0 && clsid.Data3 == 0 &&
                      std::equal(kTail.begin(), kTail.end(), std::begin(clsid.Data4));
  return family &&
         (clsid.Data1 == 0x000C1084 || clsid.Data1 == 0x000C1086 || clsid.Data1 == 0x000C1082);
}

}  // namespace storagewcx
