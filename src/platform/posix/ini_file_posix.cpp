// The ini file a host names for its plug-ins' settings, read as Windows'
// GetPrivateProfileString reads it: sections and keys without regard to
// ASCII case, blanks around names and values dropped, a value in quotes
// taken without them, lines starting with ';' ignored. The file is small;
// reading stops at 1 MiB so that a device or a huge file costs nothing.
#include <algorithm>
#include <string_view>

#include "platform/os.h"

namespace platform {
namespace {

constexpr int64_t kMaxIniBytes = 1 << 20;

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  File file;
  if (!file.Open(path, File::Mode::kReadDenyWrite)) return std::nullopt;
  std::string content(static_cast<size_t>(kMaxIniBytes), '\0');
  int64_t size = 0;
  while (size < kMaxIniBytes) {
    const int64_t n = file.Read(content.data() + size, kMaxIniBytes - size);
    if (n <= 0) break;
    size += n;
  }
  content.resize(static_cast<size_t>(size));
  return content;
}

}  // namespace

std::optional<std::string> ReadIniValue(const std::string& iniFile, const std::string& section,
                                        const std::string& key) {
  if (iniFile.empty()) return std::nullopt;
  const std::optional<std::string> content = ReadSmallFile(iniFile);
  if (!content) return std::nullopt;
  bool inSection = false;
  for (size_t start = 0; start < content->size();) {
    size_t end = content->find('\n', start);
    if (end == std::string::npos) end = content->size();
    const std::string_view line = Trimmed(std::string_view(*content).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      inSection = close != std::string_view::npos &&
                  SameAsciiText(Trimmed(line.substr(1, close - 1)), section);
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos ||
        !SameAsciiText(Trimmed(line.substr(0, equals)), key))
      continue;
    std::string_view value = Trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    if (value.empty()) return std::nullopt;
    return std::string(value);
  }
  return std::nullopt;
}

}  // namespace platform
