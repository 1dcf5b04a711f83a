#include <algorithm>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

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
  std::vector<Entry> catalog = ReadCatalog(plugin, archive);
  int size_width = 1;
  int packed_width = 1;
  for (const Entry& entry : catalog) {
    size_width = std::max(size_width, Digits(entry.size));
    packed_width = std::max(packed_width, Digits(entry.packed_size));
  }
  // Lines are gathered and written in large pieces: a listing can have
  // hundreds of thousands of them.
  constexpr size_t kFlushSize = 1 << 16;
  std::string out;
  for (const Entry& entry : catalog) {
    if (long_format) {
      out += FormatAttributes(entry.attr);
      out += "  ";
      AppendPadded(out, std::to_string(entry.packed_size), packed_width, Align::kRight);
      out += "  ";
    }
    AppendPadded(out, std::to_string(entry.size), size_width, Align::kRight);
    out += "  ";
    AppendPadded(out, FormatTime(entry.time), kTimeWidth, Align::kLeft);
    out += "  ";
    out += entry.path;
    if (entry.folder) out += kArchiveDelim;
    out += '\n';
    if (out.size() >= kFlushSize) {
      std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
      out.clear();
    }
  }
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  return kExitOk;
}

}  // namespace wcxhost
