// The runtime's exception classes. Every error inside the plug-in is one of
// these; the exports turn them into result codes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rtl {

// The base class: carries a message text.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A call of an operation that a class does not implement.
class EAbstractError : public Exception {
 public:
  EAbstractError() : Exception("Abstract Error") {}
};

// A list position outside the list: "List index out of bounds (%d)".
class EListError : public Exception {
 public:
  explicit EListError(int64_t index);
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A failing operating-system call, with the system's last error code and text.
class EOSError : public Exception {
 public:
  explicit EOSError(uint32_t code);
  uint32_t ErrorCode() const { return code_; }

 private:
  uint32_t code_;
};

// Raises EOSError for the calling thread's last error.
[[noreturn]] void RaiseLastOSError();

// A failing COM-shaped call, with its result code.
class EOleSysError : public Exception {
 public:
  explicit EOleSysError(int32_t code);
  int32_t ErrorCode() const { return code_; }

 private:
  int32_t code_;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
};

class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
};

// A disk file that cannot be created or opened.
class EFCreateError : public EStreamError {
 public:
  EFCreateError(const std::string& fileName, uint32_t code);
};

class EFOpenError : public EStreamError {
 public:
  EFOpenError(const std::string& fileName, uint32_t code);
  // The system's error code.
  uint32_t ErrorCode() const { return code_; }

 private:
  uint32_t code_;
};

}  // namespace rtl
