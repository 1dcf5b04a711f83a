// Loads a WCX plug-in the way a host does and gives typed access to its
// exports.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "wcx/wcx_api.h"

namespace testing_support {

class Plugin {
 public:
  explicit Plugin(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(dlerror());
    Bind(OpenArchive, "OpenArchive");
    Bind(ReadHeader, "ReadHeader");
    Bind(ReadHeaderEx, "ReadHeaderEx");
    Bind(ProcessFile, "ProcessFile");
    Bind(CloseArchive, "CloseArchive");
    Bind(SetChangeVolProc, "SetChangeVolProc");
    Bind(SetProcessDataProc, "SetProcessDataProc");
    Bind(GetPackerCaps, "GetPackerCaps");
    Bind(CanYouHandleThisFile, "CanYouHandleThisFile");
    Bind(PackFiles, "PackFiles");
    Bind(DeleteFiles, "DeleteFiles");
  }
  ~Plugin() {
    if (handle_) dlclose(handle_);
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // An export or another symbol by name; null when missing.
  void* Symbol(const char* name) const { return dlsym(handle_, name); }
  void Unload() {
    dlclose(handle_);
    handle_ = nullptr;
  }

  wcx::HANDLE (*OpenArchive)(wcx::tOpenArchiveData*) = nullptr;
  int32_t (*ReadHeader)(wcx::HANDLE, wcx::tHeaderData*) = nullptr;
  int32_t (*ReadHeaderEx)(wcx::HANDLE, wcx::tHeaderDataEx*) = nullptr;
  int32_t (*ProcessFile)(wcx::HANDLE, int32_t, char*, char*) = nullptr;
  int32_t (*CloseArchive)(wcx::HANDLE) = nullptr;
  void (*SetChangeVolProc)(wcx::HANDLE, wcx::tChangeVolProc) = nullptr;
  void (*SetProcessDataProc)(wcx::HANDLE, wcx::tProcessDataProc) = nullptr;
  int32_t (*GetPackerCaps)() = nullptr;
  int32_t (*CanYouHandleThisFile)(char*) = nullptr;
  int32_t (*PackFiles)(char*, char*, char*, char*, int32_t) = nullptr;
  int32_t (*DeleteFiles)(char*, char*) = nullptr;

  // OpenArchive with a record of the given name and mode.
  wcx::HANDLE Open(const std::string& arcName, int32_t mode, int32_t* openResult = nullptr) {
    wcx::tOpenArchiveData data{};
    data.ArcName = const_cast<char*>(arcName.c_str());
    data.OpenMode = mode;
    data.OpenResult = openResult ? *openResult : 0;
    wcx::HANDLE handle = OpenArchive(&data);
    if (openResult) *openResult = data.OpenResult;
    return handle;
  }

 private:
  template <class F>
  void Bind(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle_, name));
    if (!function) throw std::runtime_error(std::string("missing export ") + name);
  }

  void* handle_;
};

}  // namespace testing_support
