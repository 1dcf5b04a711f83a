// An open file of the system: whole transfers at an offset, size, sync and
// the advisory lock that carries the share modes between opens.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace cfb {

// Asked again and again while other opens hold the file: false ends the
// wait. Without one, an open waits a few seconds at most.
using KeepWaiting = std::function<bool()>;

enum class ShareLock {
  kNone,
  kShared,     // other readers may hold it too; writers may not
  kExclusive,  // nobody else
};

class FileHandle {
 public:
  enum class Mode { kRead, kReadWrite, kCreate, kCreateNew };

  FileHandle() = default;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  ~FileHandle();

  // Throws kFileNotFound, kAccessDenied, kAlreadyExists (kCreateNew) or
  // kShareViolation, also when the name stopped naming the file before the
  // lock was had. kCreate keeps the content: the caller cuts it once it
  // holds the lock.
  static FileHandle Open(const std::string& path, Mode mode, ShareLock lock,
                         const KeepWaiting& keepWaiting = {});
  // A file without a name in the folder dir, gone with its last handle
  // unless LinkAs names it; a closed handle where the file system has no
  // such files.
  static FileHandle CreateUnnamed(const std::string& dir);
  // Names a file CreateUnnamed made; kAlreadyExists when path is taken.
  void LinkAs(const std::string& path);
  // False when the system refuses (an owner the caller may not give).
  bool SetOwnerAndMode(uint32_t uid, uint32_t gid, uint32_t mode);

  bool is_open() const { return fd_ >= 0; }
  uint64_t Size() const;
  // Reads up to count bytes; fewer only at the end of the file.
  uint64_t ReadAt(uint64_t offset, void* buffer, uint64_t count) const;
  void WriteAt(uint64_t offset, const void* buffer, uint64_t count);
  void Resize(uint64_t size);
  void Sync();
  // Makes the file's name durable: syncs the directory that holds it.
  static void SyncDirectoryOf(const std::string& path);
  static std::string DirectoryOf(const std::string& path);
  // Removes the name; whoever has the file open keeps it until closing.
  static void Remove(const std::string& path);

 private:
  explicit FileHandle(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace cfb
