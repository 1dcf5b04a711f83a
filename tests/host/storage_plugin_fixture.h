// The plug-in on real compound files, driven through its exports the way
// Double Commander (Total Commander on Windows) drives it: the fixture the
// host-level tests share. Tests write archive paths with '/'; the fixture
// turns them into the host's delimiter and back. The third-party readers
// (olefile, 7-Zip, libgsf) run on Linux: a Windows build, under Wine, skips
// their checks, and the interop tests read what it wrote.
#pragma once

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "compound_builder.h"
#include "plugin_loader.h"
#include "temp_dir.h"
#include "tree_helpers.h"
#ifndef _WIN32
#include "reader_checks.h"
#include "tool_runner.h"
#endif

namespace storage_plugin {

using testing_support::CompoundBuilder;
using testing_support::HostList;
using testing_support::Plugin;
using testing_support::ReadFile;
using testing_support::TempDir;
using namespace wcx;

#ifdef _WIN32
inline constexpr bool kLinuxReaders = false;
#else
inline constexpr bool kLinuxReaders = true;
#endif

inline std::string ToHost(std::string path) {
  std::replace(path.begin(), path.end(), '/', platform::kPathDelim);
  return path;
}
inline std::string FromHost(std::string path) {
  std::replace(path.begin(), path.end(), platform::kPathDelim, '/');
  return path;
}
inline std::string HostNames(std::initializer_list<std::string> names) {
  std::string list;
  for (const std::string& name : names) list += ToHost(name) + '\0';
  return list + '\0';
}

// Progress reports (sizes and names), and a cancel after a number of them.
inline std::vector<int32_t> gReports;
inline std::vector<std::string> gReportNames;
inline int gReportsBeforeCancel;
inline int32_t WCX_API RecordProgress(char* name, int32_t size) {
  gReports.push_back(size);
  gReportNames.push_back(name ? name : "");
  return gReportsBeforeCancel-- > 0 ? 1 : 0;
}

struct Entry {
  std::string path;
  uint64_t size;
  int32_t attr;
  int32_t time;
};

class StoragePlugin : public ::testing::Test {
 protected:
  StoragePlugin() : plugin(std::make_unique<Plugin>(QOR_PLUGIN)) {
    gReports.clear();
    gReportNames.clear();
    gReportsBeforeCancel = 1 << 30;
  }

  // Unloading reports nodes still alive; after every scenario there are none.
  // (On Windows the report is a message box.)
  void TearDown() override {
#ifdef _WIN32
    plugin.reset();
#else
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    std::FILE* capture = std::tmpfile();
    dup2(fileno(capture), STDERR_FILENO);
    plugin.reset();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::rewind(capture);
    char text[512] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, capture);
    std::fclose(capture);
    EXPECT_EQ(std::string(text, n), "") << "the unload report";
#endif
  }

  // Lists the whole archive as Double Commander does: a header, then PK_SKIP.
  std::vector<Entry> List(const std::string& arc, int32_t* end = nullptr) {
    std::vector<Entry> entries;
    HANDLE handle = plugin->Open(arc, PK_OM_LIST);
    for (;;) {
      tHeaderDataEx header;
      int32_t result = plugin->ReadHeaderEx(handle, &header);
      if (result != 0) {
        if (end) *end = result;
        break;
      }
      entries.push_back({FromHost(header.FileName),
                         (uint64_t{header.UnpSizeHigh} << 32) | header.UnpSize, header.FileAttr,
                         header.FileTime});
      plugin->ProcessFile(handle, PK_SKIP, nullptr, const_cast<char*>(""));
    }
    plugin->CloseArchive(handle);
    return entries;
  }

  std::vector<std::string> Paths(const std::string& arc) {
    std::vector<std::string> paths;
    for (const Entry& e : List(arc)) paths.push_back(e.path);
    return paths;
  }

  // Extracts (or tests, with an empty target) the entry at path; the result
  // of ProcessFile, or -1 when the entry is not listed.
  int32_t Process(const std::string& arc, const std::string& path, const std::string& target) {
    HANDLE handle = plugin->Open(arc, PK_OM_EXTRACT);
    plugin->SetProcessDataProc(handle, RecordProgress);
    int32_t result = -1;
    for (;;) {
      tHeaderDataEx header;
      if (plugin->ReadHeaderEx(handle, &header) != 0) break;
      if (path == FromHost(header.FileName)) {
        result = target.empty()
                     ? plugin->ProcessFile(handle, PK_TEST, nullptr, const_cast<char*>(""))
                     : plugin->ProcessFile(handle, PK_EXTRACT, nullptr,
                                           const_cast<char*>(target.c_str()));
        break;
      }
      plugin->ProcessFile(handle, PK_SKIP, nullptr, const_cast<char*>(""));
    }
    plugin->CloseArchive(handle);
    return result;
  }

  int32_t Pack(const std::string& arc, const char* subPath, const std::string& srcPath,
               std::initializer_list<std::string> names, int32_t flags = 0) {
    plugin->SetProcessDataProc(kGlobalHandle, RecordProgress);
    std::string list = HostNames(names);
    std::string src = srcPath;
    std::string sub = subPath ? ToHost(subPath) : "";
    return plugin->PackFiles(const_cast<char*>(arc.c_str()), subPath ? sub.data() : nullptr,
                             src.data(), list.data(), flags);
  }

  int32_t Delete(const std::string& arc, std::initializer_list<std::string> names) {
    std::string list = HostNames(names);
    return plugin->DeleteFiles(const_cast<char*>(arc.c_str()), list.data());
  }

#ifndef _WIN32
  // What olefile lists, once every reader we do not own accepted the file.
  static cfb::testing::Listing Olefile(const std::string& arc) {
    EXPECT_EQ(cfb::testing::ReaderComplaints(arc), "");
    return cfb::testing::ListWithOlefile(arc);
  }
#endif

  // The paths that olefile lists, once 7-Zip was seen to list the same; none
  // where these readers do not run.
  std::optional<std::set<std::string>> PathsByOtherReaders(const std::string& arc) {
#ifdef _WIN32
    (void)arc;
    return std::nullopt;
#else
    const cfb::testing::Listing ole = Olefile(arc);
    EXPECT_EQ(ole, cfb::testing::ListWith7zz(arc, dir / "7z"));
    std::set<std::string> paths;
    for (const auto& item : ole) paths.insert(item.path);
    return paths;
#endif
  }

  std::unique_ptr<Plugin> plugin;
  TempDir dir;
};

}  // namespace storage_plugin
