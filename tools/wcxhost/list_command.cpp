#include <algorithm>
#include <ctime>
#include <deque>
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

int Digits(uint64_t value) { return static_cast<int>(std::to_string(value).size()); }

enum class Align { kLeft, kRight };

void AppendPadded(std::string& out, std::string_view text, int width, Align align) {
  const size_t pad = text.size() < static_cast<size_t>(width) ? width - text.size() : 0;
  if (align == Align::kLeft) out += text;
  out.append(pad, ' ');
  if (align == Align::kRight) out += text;
}

}  // namespace

int RunList(const Plugin& plugin, const std::string& archive, bool long_format) {
  RequireArchiveFile(archive);
  // Only the width of the size columns has to wait for the last entry. The
  // rest of each line is kept as text in pieces of a fixed size, and the
  // lines in a deque: a listing of hundreds of thousands of entries then
  // holds no string per entry and never copies what it holds to grow.
  constexpr size_t kPieceSize = 1 << 20;
  struct Line {
    uint64_t size, packed_size;
    int32_t attr;
    uint32_t tail_size;
  };
  std::deque<Line> lines;
  std::vector<std::string> pieces;
  std::string tail;
  int size_width = 1;
  int packed_width = 1;
  // Entries written together share their time: it is formatted once.
  int32_t last_time = 0;
  std::string last_time_text = FormatTime(0);
  ListArchive(plugin, archive, [&](Entry& entry) {
    size_width = std::max(size_width, Digits(entry.size));
    packed_width = std::max(packed_width, Digits(entry.packed_size));
    if (entry.time != last_time) {
      last_time = entry.time;
      last_time_text = FormatTime(entry.time);
    }
    tail.clear();
    AppendPadded(tail, last_time_text, kTimeWidth, Align::kLeft);
    tail += "  ";
    tail += entry.path;
    if (entry.folder) tail += kArchiveDelim;
    tail += '\n';
    if (pieces.empty() || pieces.back().size() + tail.size() > pieces.back().capacity()) {
      pieces.emplace_back().reserve(std::max(kPieceSize, tail.size()));
    }
    pieces.back() += tail;
    lines.push_back(
        {entry.size, entry.packed_size, entry.attr, static_cast<uint32_t>(tail.size())});
  });
  // Lines are written in large pieces too.
  std::string out;
  auto piece = pieces.begin();
  size_t offset = 0;
  for (const Line& line : lines) {
    if (long_format) {
      out += FormatAttributes(line.attr);
      out += "  ";
      AppendPadded(out, std::to_string(line.packed_size), packed_width, Align::kRight);
      out += "  ";
    }
    AppendPadded(out, std::to_string(line.size), size_width, Align::kRight);
    out += "  ";
    if (offset == piece->size()) {
      ++piece;
      offset = 0;
    }
    out.append(*piece, offset, line.tail_size);
    offset += line.tail_size;
    if (out.size() >= kPieceSize) {
      std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
      out.clear();
    }
  }
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  return kExitOk;
}

}  // namespace wcxhost
