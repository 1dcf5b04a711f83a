// The engine's one exception type. The layer above turns its code into a
// result code; the engine itself never returns error values.
#pragma once

#include <stdexcept>
#include <string>

namespace cfb {

enum class Errc {
  kFileNotFound,     // the file does not exist
  kPathNotFound,     // a directory of the path does not exist
  kAccessDenied,     // the system refused access, or a write on a read-only file
  kShareViolation,   // another open holds a conflicting lock
  kAlreadyExists,    // file or element name already taken
  kNotCompoundFile,  // an existing file that is empty or lacks the signature
  kInvalidHeader,    // the header is not one of a compound file
  kCorrupt,          // the structures contradict each other
  kNotFound,         // no element of that name
  kInvalidName,      // an element name that the format does not allow
  kMediumFull,       // the disk, or the format's size limit, is full
  kReadFault,
  kWriteFault,
  kInvalidArgument,
};

class Error : public std::runtime_error {
 public:
  Error(Errc code, const std::string& what) : std::runtime_error(what), code_(code) {}
  Errc code() const { return code_; }

 private:
  Errc code_;
};

[[noreturn]] inline void Fail(Errc code, const std::string& what) { throw Error(code, what); }
[[noreturn]] inline void Corrupt(const std::string& what) { throw Error(Errc::kCorrupt, what); }

}  // namespace cfb
