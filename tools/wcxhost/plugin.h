// A loaded WCX plug-in and the ANSI functions it exports. The functions every
// host needs are checked on loading; the optional ones are null when missing
// and checked by the command that needs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host_system.h"
#include "wcx/wcx_api.h"

namespace wcxhost {

class Plugin {
 public:
  using OpenArchiveFn = wcx::HANDLE(WCX_API*)(wcx::tOpenArchiveData* archive_data);
  using ReadHeaderFn = int32_t(WCX_API*)(wcx::HANDLE archive, wcx::tHeaderData* header);
  using ReadHeaderExFn = int32_t(WCX_API*)(wcx::HANDLE archive, wcx::tHeaderDataEx* header);
  using ProcessFileFn = int32_t(WCX_API*)(wcx::HANDLE archive, int32_t operation, char* dest_path,
                                          char* dest_name);
  using CloseArchiveFn = int32_t(WCX_API*)(wcx::HANDLE archive);
  using SetChangeVolProcFn = void(WCX_API*)(wcx::HANDLE archive, wcx::tChangeVolProc proc);
  using SetProcessDataProcFn = void(WCX_API*)(wcx::HANDLE archive, wcx::tProcessDataProc proc);
  using GetPackerCapsFn = int32_t(WCX_API*)();
  using CanYouHandleThisFileFn = int32_t(WCX_API*)(char* file_name);
  using PackFilesFn = int32_t(WCX_API*)(char* packed_file, char* sub_path, char* src_path,
                                        char* add_list, int32_t flags);
  using DeleteFilesFn = int32_t(WCX_API*)(char* packed_file, char* delete_list);

  // Throws HostError (kExitPlugin) when the file cannot be loaded or lacks
  // one of the functions every host calls.
  explicit Plugin(const std::string& path);

  const std::string& path() const { return path_; }

  // Some plug-ins (Double Commander's cpio.wcx) end every listing with an
  // error code instead of E_END_ARCHIVE. When set, an error after the first
  // entry ends the listing, as it does in Double Commander, with a warning.
  bool lenient_end = false;

  // The names of the interface functions the plug-in exports.
  std::vector<std::string> ExportedFunctions() const;

  // `function` itself, or HostError (kExitPlugin) when the plug-in does not
  // export `name`, which the current command needs.
  template <typename Fn>
  Fn Need(Fn function, const char* name) const {
    if (function == nullptr) FailMissing(name);
    return function;
  }

 private:
  [[noreturn]] void FailMissing(const char* name) const;

  template <typename Fn>
  Fn Find(const char* name) const {
    return reinterpret_cast<Fn>(library_.Symbol(name));
  }

  std::string path_;
  sys::DynamicLibrary library_;

 public:
  // Present in every plug-in this class accepts.
  const OpenArchiveFn OpenArchive = Find<OpenArchiveFn>("OpenArchive");
  const ReadHeaderFn ReadHeader = Find<ReadHeaderFn>("ReadHeader");
  const ProcessFileFn ProcessFile = Find<ProcessFileFn>("ProcessFile");
  const CloseArchiveFn CloseArchive = Find<CloseArchiveFn>("CloseArchive");
  const SetChangeVolProcFn SetChangeVolProc = Find<SetChangeVolProcFn>("SetChangeVolProc");
  const SetProcessDataProcFn SetProcessDataProc = Find<SetProcessDataProcFn>("SetProcessDataProc");
  // Optional.
  const ReadHeaderExFn ReadHeaderEx = Find<ReadHeaderExFn>("ReadHeaderEx");
  const GetPackerCapsFn GetPackerCaps = Find<GetPackerCapsFn>("GetPackerCaps");
  const CanYouHandleThisFileFn CanYouHandleThisFile =
      Find<CanYouHandleThisFileFn>("CanYouHandleThisFile");
  const PackFilesFn PackFiles = Find<PackFilesFn>("PackFiles");
  const DeleteFilesFn DeleteFiles = Find<DeleteFilesFn>("DeleteFiles");
};

}  // namespace wcxhost
