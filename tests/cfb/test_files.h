// Helpers shared by the engine tests: scratch files and byte patterns.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cfb::testing {

// A scratch directory removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "cfbtest-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Bytes that differ by position and seed, so misplaced sectors show.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed * 2654435761u + 12345;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345;
    bytes[i] = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

}  // namespace cfb::testing
