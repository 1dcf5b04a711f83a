// Loads a WCX plug-in the way a host does and gives typed access to its
// exports, the 8-bit ones and the Unicode (W) ones.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <stdexcept>
#include <string>

#include "wcx/wcx_api.h"

namespace testing_support {

class Plugin {
 public:
  explicit Plugin(const std::string& path) : handle_(Load(path)) {
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
    Bind(OpenArchiveW, "OpenArchiveW");
    Bind(ReadHeaderExW, "ReadHeaderExW");
    Bind(ProcessFileW, "ProcessFileW");
    Bind(SetChangeVolProcW, "SetChangeVolProcW");
    Bind(SetProcessDataProcW, "SetProcessDataProcW");
    Bind(CanYouHandleThisFileW, "CanYouHandleThisFileW");
    Bind(PackFilesW, "PackFilesW");
    Bind(DeleteFilesW, "DeleteFilesW");
  }
  ~Plugin() { Unload(); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // An export or another symbol by name; null when missing.
  void* Symbol(const char* name) const {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
  }
  void Unload() {
    if (!handle_) return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
  }

  wcx::HANDLE(WCX_API* OpenArchive)(wcx::tOpenArchiveData*) = nullptr;
  int32_t(WCX_API* ReadHeader)(wcx::HANDLE, wcx::tHeaderData*) = nullptr;
  int32_t(WCX_API* ReadHeaderEx)(wcx::HANDLE, wcx::tHeaderDataEx*) = nullptr;
  int32_t(WCX_API* ProcessFile)(wcx::HANDLE, int32_t, char*, char*) = nullptr;
  int32_t(WCX_API* CloseArchive)(wcx::HANDLE) = nullptr;
  void(WCX_API* SetChangeVolProc)(wcx::HANDLE, wcx::tChangeVolProc) = nullptr;
  void(WCX_API* SetProcessDataProc)(wcx::HANDLE, wcx::tProcessDataProc) = nullptr;
  int32_t(WCX_API* GetPackerCaps)() = nullptr;
  int32_t(WCX_API* CanYouHandleThisFile)(char*) = nullptr;
  int32_t(WCX_API* PackFiles)(char*, char*, char*, char*, int32_t) = nullptr;
  int32_t(WCX_API* DeleteFiles)(char*, char*) = nullptr;
  wcx::HANDLE(WCX_API* OpenArchiveW)(wcx::tOpenArchiveDataW*) = nullptr;
  int32_t(WCX_API* ReadHeaderExW)(wcx::HANDLE, wcx::tHeaderDataExW*) = nullptr;
  int32_t(WCX_API* ProcessFileW)(wcx::HANDLE, int32_t, wcx::WCHAR*, wcx::WCHAR*) = nullptr;
  void(WCX_API* SetChangeVolProcW)(wcx::HANDLE, wcx::tChangeVolProcW) = nullptr;
  void(WCX_API* SetProcessDataProcW)(wcx::HANDLE, wcx::tProcessDataProcW) = nullptr;
  int32_t(WCX_API* CanYouHandleThisFileW)(wcx::WCHAR*) = nullptr;
  int32_t(WCX_API* PackFilesW)(wcx::WCHAR*, wcx::WCHAR*, wcx::WCHAR*, wcx::WCHAR*, int32_t) = nullptr;
  int32_t(WCX_API* DeleteFilesW)(wcx::WCHAR*, wcx::WCHAR*) = nullptr;

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
  static void* Load(const std::string& path) {
#ifdef _WIN32
    if (HMODULE module = LoadLibraryA(path.c_str())) return module;
    throw std::runtime_error("cannot load " + path + ": error " + std::to_string(GetLastError()));
#else
    if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    throw std::runtime_error(dlerror());
#endif
  }

  template <class F>
  void Bind(F& function, const char* name) {
    function = reinterpret_cast<F>(Symbol(name));
    if (!function) throw std::runtime_error(std::string("missing export ") + name);
  }

  void* handle_;
};

}  // namespace testing_support
