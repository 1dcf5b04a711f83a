// TStream: the abstract byte stream the plug-in copies through, and
// TFileStream, a disk file as a TStream. Positions and sizes are 64-bit.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"

namespace rtl {

enum class TSeekOrigin : uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  // Bytes moved; fewer than Count at the end or on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // The new position, or -1 on failure.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(int64_t newSize) = 0;

  int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  // By default three seeks: remember the position, find the end, go back.
  virtual int64_t GetSize();

  // Exactly Count bytes or EReadError / EWriteError.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
};

class TFileStream : public TStream {
 public:
  enum class Mode {
    fmCreate,                // a new file, or an existing one cut to length 0
    fmOpenReadDenyWrite,     // reading, other writers denied
  };
  // Raises EFCreateError / EFOpenError when the file cannot be opened.
  TFileStream(const std::string& fileName, Mode mode);
  // The file folder.Path() + name, for reading with other writers denied.
  TFileStream(const platform::SourceFolder& folder, const std::string& name);

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  // Asks the open file, without seeking.
  int64_t GetSize() override;

  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  platform::File file_;
};

}  // namespace rtl
