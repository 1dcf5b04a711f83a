// Reaching files through a source folder held open: the same answers as
// their full paths give, for names in the folder and below it, for names
// that are not there, and for a folder that cannot be held open.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/os.h"
#include "temp_dir.h"

namespace {

using testing_support::TempDir;

std::string ReadAll(const platform::SourceFolder& folder, const std::string& name) {
  platform::File file;
  if (!file.Open(folder, name, platform::File::Mode::kReadDenyWrite)) return "<not opened>";
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  if (file.Read(bytes.data(), static_cast<int64_t>(bytes.size())) != file.Size()) return "<short>";
  return bytes;
}

TEST(SourceFolder, AnswersAsTheFullPathWould) {
  TempDir dir;
  dir.Write("src/a.bin", "abc");
  dir.Write("src/sub/b.bin", "12345");
  dir.Write("elsewhere/c.bin", "xy");
  std::filesystem::create_directory(dir / "src/empty");
  // Held open, and a folder that is not there: its names are not either.
  for (const std::string& path : {dir.Slash() + "src/", dir.Slash() + "gone/"}) {
    platform::SourceFolder folder;
    folder.Open(path);
    ASSERT_EQ(folder.Path(), path);
    for (const std::string name : {"a.bin", "sub/b.bin", "sub", "empty", "missing", "../elsewhere/c.bin"}) {
      const std::optional<platform::PathInfo> held = platform::GetPathInfo(folder, name);
      const std::optional<platform::PathInfo> full = platform::GetPathInfo(path + name);
      ASSERT_EQ(held.has_value(), full.has_value()) << path << name;
      if (held) {
        EXPECT_EQ(held->kind, full->kind) << path << name;
        EXPECT_EQ(held->size, full->size) << path << name;
      }
    }
    const bool there = platform::DirectoryExists(path);
    EXPECT_EQ(ReadAll(folder, "a.bin"), there ? "abc" : "<not opened>");
    EXPECT_EQ(ReadAll(folder, "sub/b.bin"), there ? "12345" : "<not opened>");
    EXPECT_EQ(ReadAll(folder, "../elsewhere/c.bin"), there ? "xy" : "<not opened>");
    EXPECT_EQ(ReadAll(folder, "sub"), "<not opened>") << "a folder is no file";
    EXPECT_EQ(ReadAll(folder, "missing"), "<not opened>");
  }
}

TEST(SourceFolder, OpeningAnotherFolderLeavesTheFirst) {
  TempDir dir;
  dir.Write("one/f", "1");
  dir.Write("two/f", "22");
  platform::SourceFolder folder;
  folder.Open(dir.Slash() + "one/");
  EXPECT_EQ(ReadAll(folder, "f"), "1");
  folder.Open(dir.Slash() + "two/");
  EXPECT_EQ(ReadAll(folder, "f"), "22");
}

}  // namespace
