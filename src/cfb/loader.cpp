// Loading an open file: its structures read and checked (structures.cpp),
// then kept as the last committed state.
#include "cfb/compound_file.h"
#include "cfb/structures.h"

namespace cfb {

namespace {

class FileSource : public ByteSource {
 public:
  explicit FileSource(const WriteBackFile& file) : file_(file) {}
  uint64_t Size() const override { return file_.Size(); }
  uint64_t ReadAt(uint64_t offset, void* buffer, uint64_t count) const override {
    return file_.ReadAt(offset, buffer, count);
  }

 private:
  const WriteBackFile& file_;
};

}  // namespace

void CompoundFile::Load() {
  file_size_ = file_.Size();
  committed_size_ = file_size_;
  FileStructures read;
  ReadStructures(FileSource(file_), read, dir_);
  header_ = read.header;
  committed_header_ = read.header_bytes;
  fat_ = std::move(read.fat);
  minifat_ = std::move(read.minifat);
  fat_pages_ = std::move(read.fat_pages);
  difat_pages_ = std::move(read.difat_pages);
  dir_pages_ = std::move(read.dir_pages);
  minifat_pages_ = std::move(read.minifat_pages);
  damaged_ = std::move(read.damaged);
  chains_.clear();
  fat_.ProtectCommitted();
  changed_ = false;
  difat_dirty_ = false;
  ReleaseUnlistedTablePages();
  committed_room_ = Room{file_size_, FreeBytes()};
}

// Earlier versions left a DIFAT page marked in the FAT after the table shrank
// back into the header's slots; readers that check every sector's owner
// refuse such a file. Freed, it stays protected until the next commit, which
// then writes the table without it.
void CompoundFile::ReleaseUnlistedTablePages() {
  std::vector<bool> listed(fat_.size(), false);
  for (const auto* pages : {&fat_pages_, &difat_pages_})
    for (uint32_t s : *pages) listed[s] = true;
  for (uint32_t s = 0; s < fat_.size(); ++s) {
    const uint32_t kind = fat_.Get(s);
    if ((kind != kFatSect && kind != kDifSect) || listed[s]) continue;
    fat_.Free(s);
    // The last listed DIFAT page may still point at it.
    difat_dirty_ |= kind == kDifSect;
  }
}

}  // namespace cfb
