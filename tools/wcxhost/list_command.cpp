#include <algorithm>
#include <charconv>
#include <iterator>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog.h"
#include "commands.h"
#include "host_conventions.h"

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
  // Only the width of the size columns has to wait for the last entry. Each
  // line is kept until then as its numbers and its path, packed one after
  // the other into pieces of a fixed size: a listing of hundreds of
  // thousands of entries then holds no string per entry, and never copies
  // what it holds to grow.
  struct Line {
    uint64_t size;
    int32_t time;
    uint32_t path_size : 31;
    uint32_t folder : 1;
  };
  // Only the long format keeps these.
  struct LongPart {
    uint64_t packed_size;
    int32_t attr;
  };
  const size_t long_part_size = long_format ? sizeof(LongPart) : 0;
  constexpr size_t kPieceSize = 1 << 20;
  std::vector<std::string> pieces;
  size_t line_count = 0;
  int size_width = 1;
  int packed_width = 1;
  ListArchive(plugin, archive, [&](Entry& entry) {
    size_width = std::max(size_width, Digits(entry.size));
    packed_width = std::max(packed_width, Digits(entry.packed_size));
    const Line line{entry.size, entry.time, static_cast<uint32_t>(entry.path.size()),
                    entry.folder ? 1u : 0u};
    const LongPart long_part{entry.packed_size, entry.attr};
    const size_t needed = sizeof line + long_part_size + entry.path.size();
    if (pieces.empty() || pieces.back().size() + needed > pieces.back().capacity())
      pieces.emplace_back().reserve(std::max(kPieceSize, needed));
    pieces.back()
        .append(reinterpret_cast<const char*>(&line), sizeof line)
        .append(reinterpret_cast<const char*>(&long_part), long_part_size)
        .append(entry.path);
    ++line_count;
  });
  // Entries written together share their time: it is formatted once.
  int32_t last_time = 0;
  std::string last_time_text = FormatTime(0);
  std::string out;
  auto piece = pieces.begin();
  size_t offset = 0;
  for (size_t i = 0; i < line_count; ++i) {
    if (offset == piece->size()) {
      ++piece;
      offset = 0;
    }
    Line line;
    std::memcpy(&line, piece->data() + offset, sizeof line);
    offset += sizeof line;
    if (long_format) {
      LongPart long_part;
      std::memcpy(&long_part, piece->data() + offset, sizeof long_part);
      offset += sizeof long_part;
      out += FormatAttributes(long_part.attr);
      out += "  ";
      AppendNumber(out, long_part.packed_size, packed_width);
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
    out.append(*piece, offset, line.path_size);
    offset += line.path_size;
    if (line.folder) out += kArchiveDelim;
    out += '\n';
    if (out.size() >= kPieceSize) {
      std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
      out.clear();
    }
  }
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  return kExitOk;
}

}  // namespace wcxhost
