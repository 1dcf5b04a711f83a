#include "wcx_results.h"

#include <array>
#include <string_view>

#include "wcx/wcx_api.h"

namespace wcxhost {
namespace {

struct ResultText {
  int32_t code;
  std::string_view name;
  std::string_view meaning;
};

constexpr std::array kResults{
    ResultText{wcx::E_END_ARCHIVE, "E_END_ARCHIVE", "no more files in the archive"},
    ResultText{wcx::E_NO_MEMORY, "E_NO_MEMORY", "not enough memory"},
    ResultText{wcx::E_BAD_DATA, "E_BAD_DATA", "the data is corrupt"},
    ResultText{wcx::E_BAD_ARCHIVE, "E_BAD_ARCHIVE", "the archive is damaged"},
    ResultText{wcx::E_UNKNOWN_FORMAT, "E_UNKNOWN_FORMAT", "unknown archive format"},
    ResultText{wcx::E_EOPEN, "E_EOPEN",
               "cannot open the file; another program or operation may be using it"},
    ResultText{wcx::E_ECREATE, "E_ECREATE",
               "cannot create the file; its folder may be missing or not writable, or a folder or "
               "a read-only file has its name"},
    ResultText{wcx::E_ECLOSE, "E_ECLOSE", "error closing a file"},
    ResultText{wcx::E_EREAD, "E_EREAD", "error reading from a file"},
    ResultText{wcx::E_EWRITE, "E_EWRITE", "error writing to a file"},
    ResultText{wcx::E_SMALL_BUF, "E_SMALL_BUF", "buffer too small"},
    ResultText{wcx::E_EABORTED, "E_EABORTED", "cancelled by the user"},
    ResultText{wcx::E_NO_FILES, "E_NO_FILES", "no files found"},
    ResultText{wcx::E_TOO_MANY_FILES, "E_TOO_MANY_FILES", "too many files"},
    ResultText{wcx::E_NOT_SUPPORTED, "E_NOT_SUPPORTED", "function not supported"},
};

}  // namespace

std::string DescribeResult(int32_t code) {
  for (const ResultText& result : kResults) {
    if (result.code == code) {
      return std::string(result.name) + ": " + std::string(result.meaning);
    }
  }
  return "unknown result code " + std::to_string(code);
}

HostError ResultError(const std::string& what, int32_t code) {
  return HostError(what + " (" + DescribeResult(code) + ")",
                   code == wcx::E_EABORTED ? kExitCancelled : kExitFailed);
}

}  // namespace wcxhost
