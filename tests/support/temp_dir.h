// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes. Names and paths are UTF-8 strings,
// as the plug-in takes them, on every system.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace testing_support {

inline std::filesystem::path Utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}
inline std::string Utf8String(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    std::random_device random;
    do {
      path_ = std::filesystem::temp_directory_path() / ("qor-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "qor-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
#endif
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const {
    return path_;
  }
  // A file in the directory.
  std::string File(const std::string& name) const {
    return Utf8String(path_ / Utf8Path(name));
  }
  std::string operator/(const std::string& name) const {
    return File(name);
  }
  // The directory with a trailing delimiter ('/', or '\\' on Windows).
  std::string Slash() const {
    return Utf8String(path_) + static_cast<char>(std::filesystem::path::preferred_separator);
  }

  // Writes a file below the directory, creating its folders.
  std::string Write(const std::string& name, const std::string& content) const {
    std::filesystem::path file = path_ / Utf8Path(name);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return Utf8String(file);
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace testing_support
