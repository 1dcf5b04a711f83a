#include "wcx/pending_file.h"

#include <atomic>
#include <chrono>

#include "platform/os.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace wcx {
namespace {

std::string FolderPart(const std::string& path) {
  const size_t delim = path.find_last_of(platform::kWindowsFileNames ? "\\/:" : "/");
  return delim == std::string::npos ? std::string() : path.substr(0, delim + 1);
}

// Differs between calls, threads and processes; the name is still tried
// with an exclusive create.
uint32_t NameSeed() {
  static std::atomic<uint32_t> counter{0};
  const auto now =
      static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  return static_cast<uint32_t>(now ^ (now >> 32)) * 2654435761u + counter.fetch_add(0x9E3779B9u);
}

}  // namespace

PendingFile::PendingFile(const std::string& target) : target_(platform::WrittenFilePath(target)) {
  if (!platform::MayReplaceFile(target_))
    throw rtl::EFCreateError(target, platform::GetLastError());
  const std::string folder = FolderPart(target_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Short and fixed in length: a target whose name is as long as the
    // system allows still gets one.
    std::string name = folder + rtl::Format(".~qor%08X.tmp", NameSeed());
    switch (platform::CreateNewFile(name)) {
      case platform::NewFile::kCreated:
        temporary_ = std::move(name);
        return;
      case platform::NewFile::kExists:
        continue;
      case platform::NewFile::kFailed:
        throw rtl::EFCreateError(target, platform::GetLastError());
    }
  }
  throw rtl::EFCreateError(target, platform::GetLastError());
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::Commit() {
  if (!platform::MoveFileReplacing(temporary_, target_)) {
    const uint32_t error = platform::GetLastError();
    Discard();
    throw rtl::EFCreateError(target_, error);
  }
  temporary_.clear();
}

void PendingFile::Discard() noexcept {
  if (temporary_.empty()) return;
  // A read-only attribute keeps Windows from deleting a file.
  if (!platform::RemoveFile(temporary_)) {
    platform::ApplyFileAttributes(temporary_, platform::kStreamAttr);
    platform::RemoveFile(temporary_);
  }
  temporary_.clear();
}

}  // namespace wcx
