#include <algorithm>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string>

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
  for (const Entry& entry : catalog) {
    if (long_format) {
      std::cout << FormatAttributes(entry.attr) << "  " << std::setw(packed_width) << entry.packed_size << "  ";
    }
    std::cout << std::setw(size_width) << entry.size << "  " << std::left << std::setw(kTimeWidth)
              << FormatTime(entry.time) << std::right << "  " << entry.path;
    if (entry.folder) std::cout << kArchiveDelim;
    std::cout << '\n';
  }
  return kExitOk;
}

}  // namespace wcxhost
