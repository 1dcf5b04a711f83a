#include "platform/ole/shared_file.h"

#include <unistd.h>

namespace platform::ole {

SharedFile::SharedFile(std::unique_ptr<cfb::CompoundFile> file, std::u16string name, DWORD mode,
                       bool delete_on_release)
    : file_(std::move(file)),
      name_(std::move(name)),
      mode_(mode),
      delete_on_release_(delete_on_release) {}

SharedFile::~SharedFile() {
  Close();
}

bool SharedFile::Register(uint32_t id, uint64_t stamp) {
  auto [it, inserted] = open_.emplace(id, Holders{stamp, 1});
  if (inserted) return true;
  if (file_ && file_->IsLive(id, it->second.stamp)) return false;
  it->second = Holders{stamp, 1};  // the earlier holders' element is gone
  return true;
}

void SharedFile::AddHolder(uint32_t id, uint64_t stamp) {
  auto it = open_.find(id);
  if (it != open_.end() && it->second.stamp == stamp) ++it->second.count;
}

void SharedFile::Unregister(uint32_t id, uint64_t stamp) {
  auto it = open_.find(id);
  if (it == open_.end() || it->second.stamp != stamp || --it->second.count != 0) return;
  open_.erase(it);
  if (file_ && file_->IsLive(id, stamp)) file_->ForgetChain(id);
}

bool SharedFile::IsOpen(uint32_t id, uint64_t stamp) const {
  auto it = open_.find(id);
  return it != open_.end() && it->second.stamp == stamp;
}

void SharedFile::Close() {
  if (!file_) return;
  const std::string path = file_->path();
  // Release has no result to report a failure with; the file keeps its last
  // committed state then. A transacted root drops what it did not commit.
  try {
    if (transacted())
      file_->Revert();
    else if (!delete_on_release_)
      file_->Commit();
  } catch (...) {
  }
  file_.reset();
  if (delete_on_release_) unlink(path.c_str());
}

}  // namespace platform::ole
