// Loading an open file: its structures read and checked (structures.cpp),
// then kept as the last committed state.
#include "cfb/compound_file.h"
#include "cfb/structures.h"

namespace cfb {

namespace {

class FileSource : public ByteSource {
 public:
  explicit FileSource(const FileHandle& file) : file_(file) {}
  uint64_t Size() const override { return file_.Size(); }
  uint64_t ReadAt(uint64_t offset, void* buffer, uint64_t count) const override {
    return file_.ReadAt(offset, buffer, count);
  }

 private:
  const FileHandle& file_;
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
}

}  // namespace cfb
