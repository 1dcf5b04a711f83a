#include "host_conventions.h"

#include <algorithm>

#include "host_system.h"

namespace wcxhost {

#ifdef _WIN32

bool IsFolderEntry(int32_t file_attr, std::string_view file_name) {
  return (file_attr & 0x10) != 0 || file_name.ends_with('\\') || file_name.ends_with('/');
}

std::optional<std::tm> DecodeEntryTime(int32_t file_time) {
  if (file_time == 0) return std::nullopt;
  auto packed = static_cast<uint32_t>(file_time);
  std::tm result{};
  result.tm_year = static_cast<int>(packed >> 25) + 80;
  result.tm_mon = static_cast<int>((packed >> 21) & 0x0F) - 1;
  result.tm_mday = static_cast<int>((packed >> 16) & 0x1F);
  result.tm_hour = static_cast<int>((packed >> 11) & 0x1F);
  result.tm_min = static_cast<int>((packed >> 5) & 0x3F);
  result.tm_sec = static_cast<int>(packed & 0x1F) * 2;
  return result;
}

std::string FormatAttributes(int32_t file_attr) {
  constexpr std::string_view kLetters = "DRHSA";
  constexpr int32_t kBits[] = {0x10, 0x01, 0x02, 0x04, 0x20};
  std::string text;
  for (size_t i = 0; i < kLetters.size(); ++i) text += (file_attr & kBits[i]) != 0 ? kLetters[i] : '-';
  return text;
}

#else

bool IsFolderEntry(int32_t file_attr, std::string_view file_name) {
  constexpr int32_t kTypeMask = 0170000;
  constexpr int32_t kDirectory = 0040000;
  return (file_attr & kTypeMask) == kDirectory || file_name.ends_with('/');
}

std::optional<std::tm> DecodeEntryTime(int32_t file_time) {
  if (file_time == 0) return std::nullopt;
  // Unsigned: the field holds seconds since 1970 and reaches past 2038.
  return sys::LocalTime(static_cast<std::time_t>(static_cast<uint32_t>(file_time)));
}

std::string FormatAttributes(int32_t file_attr) {
  std::string text = IsFolderEntry(file_attr, {}) ? "d" : "-";
  constexpr std::string_view kLetters = "rwxrwxrwx";
  for (size_t i = 0; i < kLetters.size(); ++i) {
    text += (file_attr & (0400 >> i)) != 0 ? kLetters[i] : '-';
  }
  return text;
}

#endif

std::string ToArchivePath(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '/', kArchiveDelim);
  size_t start = 0;
  for (;;) {
    if (start < result.size() && result[start] == kArchiveDelim) {
      ++start;
    } else if (result.compare(start, 2, std::string{'.', kArchiveDelim}) == 0) {
      start += 2;
    } else {
      break;
    }
  }
  size_t end = result.size();
  while (end > start && result[end - 1] == kArchiveDelim) --end;
  return result.substr(start, end - start);
}

bool IsContainedPath(std::string_view archive_path) {
#ifdef _WIN32
  constexpr std::string_view kSeparators = "/\\";
  if (archive_path.size() >= 2 && archive_path[1] == ':') return false;  // a drive
#else
  constexpr std::string_view kSeparators = "/";
#endif
  if (archive_path.empty() || kSeparators.find(archive_path.front()) != std::string_view::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= archive_path.size()) {
    size_t end = archive_path.find_first_of(kSeparators, start);
    if (end == std::string_view::npos) end = archive_path.size();
    if (archive_path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace wcxhost
