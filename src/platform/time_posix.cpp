// The UTC/local and calendar conversions of file times on POSIX.
#include <cerrno>

#include "platform/os.h"

namespace platform {

bool FileTimeToLocalFileTime(const FILETIME&, FILETIME&) { errno = ENOSYS; return false; }
bool LocalFileTimeToFileTime(const FILETIME&, FILETIME&) { errno = ENOSYS; return false; }
bool FileTimeToSystemTime(const FILETIME&, SYSTEMTIME&) { errno = ENOSYS; return false; }
bool SystemTimeToFileTime(const SYSTEMTIME&, FILETIME&) { errno = ENOSYS; return false; }

}  // namespace platform
