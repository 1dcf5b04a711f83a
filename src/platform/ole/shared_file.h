// What a root storage and every object opened below it share: the engine's
// open file, the root's mode, and which elements are open. When the root goes
// away the file is closed and every object still holding it answers
// STG_E_REVERTED.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "cfb/compound_file.h"
#include "platform/ole.h"

namespace platform::ole {

class SharedFile {
 public:
  SharedFile(std::unique_ptr<cfb::CompoundFile> file, std::u16string name, DWORD mode,
             bool delete_on_release);
  ~SharedFile();
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  // Null once the root was released.
  cfb::CompoundFile* file() const { return file_.get(); }
  const std::u16string& name() const { return name_; }
  DWORD mode() const { return mode_; }
  bool transacted() const { return (mode_ & STGM_TRANSACTED) != 0; }

  // False (and nothing registered) when the element is open already.
  bool Register(uint32_t id, uint64_t stamp);
  // One more holder of an element that is open (a clone).
  void AddHolder(uint32_t id, uint64_t stamp);
  void Unregister(uint32_t id, uint64_t stamp);
  bool IsOpen(uint32_t id, uint64_t stamp) const;

  // The root's last release: commits a direct-mode file, then closes it.
  void Close();

 private:
  std::unique_ptr<cfb::CompoundFile> file_;
  std::u16string name_;
  DWORD mode_;
  bool delete_on_release_;
  struct Holders {
    uint64_t stamp;
    int count;
  };
  std::unordered_map<uint32_t, Holders> open_;
};

// An element of an open file as its holder remembers it.
struct ElementRef {
  std::shared_ptr<SharedFile> shared;
  uint32_t id;
  uint64_t stamp;

  // The engine when the element still exists, else null.
  cfb::CompoundFile* Live() const {
    cfb::CompoundFile* file = shared->file();
    return file && file->IsLive(id, stamp) ? file : nullptr;
  }
};

}  // namespace platform::ole
