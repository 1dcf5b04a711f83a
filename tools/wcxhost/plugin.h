// A loaded WCX plug-in and the functions it exports, the 8-bit ones and the
// Unicode (W) ones. The functions every host needs are checked on loading;
// the optional ones are null when missing and checked by the command that
// needs them. The calls themselves, in the interface chosen, go through the
// members declared last (plugin_calls.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host_system.h"
#include "wcx/wcx_api.h"

namespace wcxhost {

// Which of the plug-in's interfaces the host drives: the Unicode one where
// the plug-in has it, as file managers do, unless told otherwise.
enum class Interface { kAuto, kAnsi, kWide };

// A header as the host reads it, the name in the host's strings.
struct Header {
  std::string name;  // as the plug-in spells it
  uint64_t size = 0;
  uint64_t packed_size = 0;
  int32_t attr = 0;
  int32_t time = 0;
};

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
  using OpenArchiveWFn = wcx::HANDLE(WCX_API*)(wcx::tOpenArchiveDataW* archive_data);
  using ReadHeaderExWFn = int32_t(WCX_API*)(wcx::HANDLE archive, wcx::tHeaderDataExW* header);
  using ProcessFileWFn = int32_t(WCX_API*)(wcx::HANDLE archive, int32_t operation,
                                           wcx::WCHAR* dest_path, wcx::WCHAR* dest_name);
  using SetChangeVolProcWFn = void(WCX_API*)(wcx::HANDLE archive, wcx::tChangeVolProcW proc);
  using SetProcessDataProcWFn = void(WCX_API*)(wcx::HANDLE archive, wcx::tProcessDataProcW proc);
  using CanYouHandleThisFileWFn = int32_t(WCX_API*)(wcx::WCHAR* file_name);
  using PackFilesWFn = int32_t(WCX_API*)(wcx::WCHAR* packed_file, wcx::WCHAR* sub_path,
                                         wcx::WCHAR* src_path, wcx::WCHAR* add_list, int32_t flags);
  using DeleteFilesWFn = int32_t(WCX_API*)(wcx::WCHAR* packed_file, wcx::WCHAR* delete_list);
  using PackSetDefaultParamsFn = void(WCX_API*)(wcx::PackDefaultParamStruct* params);

  // Throws HostError (kExitPlugin) when the file cannot be loaded or lacks
  // one of the functions every host calls, or the W ones when kWide asks
  // for them.
  Plugin(const std::string& path, Interface interface);

  const std::string& path() const { return path_; }
  bool wide() const { return wide_; }

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

  // The Unicode interface's three functions that every host calls.
  bool HasWideInterface() const;

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
  const GetPackerCapsFn GetBackgroundFlags = Find<GetPackerCapsFn>("GetBackgroundFlags");
  const PackSetDefaultParamsFn PackSetDefaultParams =
      Find<PackSetDefaultParamsFn>("PackSetDefaultParams");
  // The Unicode interface, optional too.
  const OpenArchiveWFn OpenArchiveW = Find<OpenArchiveWFn>("OpenArchiveW");
  const ReadHeaderExWFn ReadHeaderExW = Find<ReadHeaderExWFn>("ReadHeaderExW");
  const ProcessFileWFn ProcessFileW = Find<ProcessFileWFn>("ProcessFileW");
  const SetChangeVolProcWFn SetChangeVolProcW = Find<SetChangeVolProcWFn>("SetChangeVolProcW");
  const SetProcessDataProcWFn SetProcessDataProcW = Find<SetProcessDataProcWFn>("SetProcessDataProcW");
  const CanYouHandleThisFileWFn CanYouHandleThisFileW =
      Find<CanYouHandleThisFileWFn>("CanYouHandleThisFileW");
  const PackFilesWFn PackFilesW = Find<PackFilesWFn>("PackFilesW");
  const DeleteFilesWFn DeleteFilesW = Find<DeleteFilesWFn>("DeleteFilesW");

 private:
  const bool wide_;

 public:
  // The calls, with names and paths in the host's strings, through the
  // interface chosen. Each checks that the plug-in exports what it needs.
  // OpenArchive: the handle, or null with the plug-in's result in
  // open_result.
  wcx::HANDLE Open(const std::string& archive, int32_t mode, int32_t& open_result) const;
  // ReadHeaderEx (W) where exported, else ReadHeader.
  int32_t ReadNextHeader(wcx::HANDLE archive, Header& header) const;
  // ProcessFile with a null DestPath.
  int32_t Process(wcx::HANDLE archive, int32_t operation, const std::string& dest_name) const;
  // The host's callbacks on the handle (or kGlobalHandle).
  void SetCallbacks(wcx::HANDLE archive) const;
  // PackSetDefaultParams with the ini file for the plug-in's settings, as
  // file managers call it once after loading; nothing when not exported.
  void SetDefaultParams(const std::string& ini_file) const;
  bool CanHandle(const std::string& file) const;
  // HostError (kExitPlugin) when the plug-in cannot pack, or delete, in the
  // interface chosen; commands check before they start.
  void CheckPacking() const;
  void CheckDeleting() const;
  // list: an AddList, zero-terminated names ended by an empty one; taken,
  // so that the wide form need not be held beside it.
  int32_t Pack(const std::string& archive, const std::string& sub_path, const std::string& src_path,
               std::string list, int32_t flags) const;
  int32_t Delete(const std::string& archive, const std::vector<std::string>& names) const;
};

}  // namespace wcxhost
