// A disk file that takes its name only once it is complete: the content is
// written to a temporary file in the target's folder, which Commit renames
// over the target. Until then the target stays as it was; a pending file
// destroyed without a commit removes its temporary.
#pragma once

#include <string>

namespace wcx {

class PendingFile {
 public:
  // Raises EFCreateError when the target is a directory or a file the user
  // may not write, or when its folder takes no new file.
  explicit PendingFile(const std::string& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Where the content goes until Commit.
  const std::string& TemporaryPath() const { return temporary_; }
  // Puts the temporary in the target's place; raises EFCreateError, and
  // removes the temporary, when that fails.
  void Commit();

 private:
  void Discard() noexcept;

  std::string target_;  // a symbolic link's target, which is what a write replaces
  std::string temporary_;
};

}  // namespace wcx
