#include "plugin.h"

#include <array>
#include <filesystem>
#include <stdexcept>

#include "host_error.h"
#include "host_system.h"

namespace wcxhost {
namespace {

constexpr std::array<const char*, 6> kMandatory{
    "OpenArchive", "ReadHeader", "ProcessFile", "CloseArchive", "SetChangeVolProc", "SetProcessDataProc"};
constexpr std::array<const char*, 15> kOptional{
    "ReadHeaderEx", "GetPackerCaps",      "CanYouHandleThisFile", "PackFiles",
    "DeleteFiles",  "GetBackgroundFlags", "OpenArchiveW",         "ReadHeaderExW",
    "ProcessFileW", "SetChangeVolProcW",  "SetProcessDataProcW",  "CanYouHandleThisFileW",
    "PackFilesW",   "DeleteFilesW",       "PackSetDefaultParams"};

sys::DynamicLibrary LoadPluginLibrary(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    throw HostError("cannot find plug-in " + Quoted(path), kExitPlugin);
  }
  try {
    // An absolute path keeps the loader from searching its library folders.
    return sys::DynamicLibrary(sys::PathString(std::filesystem::absolute(path)));
  } catch (const std::runtime_error& e) {
    throw HostError("cannot load plug-in " + Quoted(path) + ": " + e.what(), kExitPlugin);
  }
}

}  // namespace

Plugin::Plugin(const std::string& path, Interface interface)
    : path_(path),
      library_(LoadPluginLibrary(path)),
      wide_(interface == Interface::kWide || (interface == Interface::kAuto && HasWideInterface())) {
  std::string missing;
  for (const char* name : kMandatory) {
    if (library_.Symbol(name) == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
  }
  if (!missing.empty()) {
    throw HostError(Quoted(path) + " is not a usable WCX plug-in: it does not export " + missing,
                    kExitPlugin);
  }
  if (wide_ && !HasWideInterface()) {
    throw HostError(Quoted(path) + " has no Unicode interface: it does not export OpenArchiveW, " +
                        "ReadHeaderExW and ProcessFileW",
                    kExitPlugin);
  }
}

bool Plugin::HasWideInterface() const {
  return OpenArchiveW != nullptr && ReadHeaderExW != nullptr && ProcessFileW != nullptr;
}

std::vector<std::string> Plugin::ExportedFunctions() const {
  std::vector<std::string> names;
  for (const char* name : kMandatory) names.emplace_back(name);
  for (const char* name : kOptional) {
    if (library_.Symbol(name) != nullptr) names.emplace_back(name);
  }
  return names;
}

void Plugin::FailMissing(const char* name) const {
  throw HostError("plug-in " + Quoted(path_) + " does not export " + name + ", which this command needs",
                  kExitPlugin);
}

}  // namespace wcxhost
