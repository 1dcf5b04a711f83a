#include <algorithm>
#include <charconv>
#include <ctime>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "catalog.h"
#include "commands.h"
#include "host_conventions.h"
#include "listed_lines.h"

namespace wcxhost {
namespace {

constexpr int kTimeWidth = 19;

std::string FormatTime(int32_t file_time) {
  std::optional<std::tm> time = DecodeEntryTime(file_time);
  if (!time) return "-";
  char text[32];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &*time) > 0 ? text : "?";
}

int Digits(uint64_t value) {
  int digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

// The number in decimal, right-aligned in width.
void AppendNumber(std::string& out, uint64_t value, int width) {
  char digits[20];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
  const int length = static_cast<int>(end - digits);
  if (length < width) out.append(static_cast<size_t>(width - length), ' ');
  out.append(digits, end);
}

// The text, then spaces up to width.
void AppendLeftAligned(std::string& out, std::string_view text, int width) {
  out += text;
  if (text.size() < static_cast<size_t>(width)) out.append(width - text.size(), ' ');
}

}  // namespace

int RunList(const Plugin& plugin, const std::string& archive, bool long_format) {
  RequireArchiveFile(archive);
  // Only the width of the size columns has to wait for the last entry.
  ListedLines lines(long_format ? ListedLines::Fields::kLong : ListedLines::Fields::kShort);
  int size_width = 1;
  int packed_width = 1;
  ListArchive(plugin, archive, [&](Entry& entry) {
    size_width = std::max(size_width, Digits(entry.size));
    packed_width = std::max(packed_width, Digits(entry.packed_size));
    lines.Add(entry);
  });
  // Entries written together share their time: it is formatted once.
  int32_t last_time = 0;
  std::string last_time_text = FormatTime(0);
  constexpr size_t kChunk = 1 << 20;
  std::string out;
  lines.ForEach([&](const Entry& line) {
    if (long_format) {
      out += FormatAttributes(line.attr);
      out += "  ";
      AppendNumber(out, line.packed_size, packed_width);
      out += "  ";
    }
    AppendNumber(out, line.size, size_width);
    out += "  ";
    if (line.time != last_time) {
      last_time = line.time;
      last_time_text = FormatTime(line.time);
    }
    AppendLeftAligned(out, last_time_text, kTimeWidth);
    out += "  ";
    out += line.path;
    if (line.folder) out += kArchiveDelim;
    out += '\n';
    if (out.size() >= kChunk) {
      std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
      out.clear();
    }
  });
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  return kExitOk;
}

}  // namespace wcxhost
