// Running the independent tools (7zz, olefile, gsf) that the interop tests
// compare against, and the summary both sides are reduced to.
#pragma once

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace cfb::testing {

struct CommandResult {
  int status = -1;
  std::string output;
};

// Runs a shell command line and collects its standard output.
CommandResult RunCommand(const std::string& command);
bool HaveTool(const std::string& name);
// The string quoted for /bin/sh.
std::string ShellQuote(const std::string& text);

uint32_t Crc32(const uint8_t* data, size_t size);

// One element as every reader reports it: kind ('d' or 'f'), path joined
// with '/', size and checksum of the content.
struct Listed {
  char kind;
  std::string path;
  uint64_t size;
  uint32_t crc;
  auto operator<=>(const Listed&) const = default;
};
using Listing = std::set<Listed>;
void PrintTo(const Listed& item, std::ostream* out);

// Readers of a compound file, the engine among them.
Listing ListWithEngine(const std::string& file);
Listing ListWithOlefile(const std::string& file);
// Many files with one run of the interpreter.
std::vector<Listing> ListWithOlefile(const std::vector<std::string>& files);
Listing ListWith7zz(const std::string& file, const std::string& scratch_dir);
Listing ListWithGsf(const std::string& file);

// How 7-Zip shows a name: control characters as [n].
std::string SevenZipName(const std::string& utf8_name);

}  // namespace cfb::testing

namespace cfb::testing {
std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view text);
}  // namespace cfb::testing
