// The exports as a host calls them: the built test plug-in is loaded with
// dlopen (LoadLibrary) and driven with the records and call orders of a host.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "plugin_loader.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace {

using testing_support::HostList;
using testing_support::Plugin;
using testing_support::TempDir;
using namespace wcx;

class Exports : public ::testing::Test {
 protected:
  Exports() : plugin(TEST_PLUGIN) {
    define = reinterpret_cast<void (*)(const char*, const char*)>(plugin.Symbol("qorTest_Define"));
    describe =
        reinterpret_cast<void (*)(const char*, char*, int)>(plugin.Symbol("qorTest_Describe"));
    liveItems = reinterpret_cast<int32_t (*)()>(plugin.Symbol("qorTest_LiveItemCount"));
  }
  ~Exports() override { EXPECT_EQ(liveItems(), 0) << "every node was destroyed"; }

  std::string Describe(const char* arc) {
    char buffer[4096];
    describe(arc, buffer, sizeof buffer);
    return buffer;
  }

  Plugin plugin;
  void (*define)(const char*, const char*);
  void (*describe)(const char*, char*, int);
  int32_t (*liveItems)();
};

TEST_F(Exports, CapabilitiesAndContentTest) {
  EXPECT_EQ(plugin.GetPackerCaps(), PK_CAPS_MULTIPLE | 0x4B);
  define("known", "");
  EXPECT_EQ(plugin.CanYouHandleThisFile(const_cast<char*>("known")), -1);
  EXPECT_EQ(plugin.CanYouHandleThisFile(const_cast<char*>("unknown")), 0);
  EXPECT_EQ(plugin.CanYouHandleThisFile(nullptr), 0);
}

TEST_F(Exports, AMissingArchiveOpensAndFailsOnTheFirstHeader) {
  int32_t openResult = 77;
  HANDLE handle = plugin.Open("missing", PK_OM_LIST, &openResult);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(openResult, 77) << "untouched on success";
  tHeaderDataEx header;
  EXPECT_EQ(plugin.ReadHeaderEx(handle, &header), E_EREAD);
  EXPECT_EQ(plugin.CloseArchive(handle), 0);
}

TEST_F(Exports, ReadHeaderExZeroesWhatTheTreeDoesNotWrite) {
  define("z", "F a 5\n");
  HANDLE handle = plugin.Open("z", PK_OM_LIST);
  tHeaderDataEx header;
  std::memset(&header, 0xAB, sizeof header);
  ASSERT_EQ(plugin.ReadHeaderEx(handle, &header), 0);
  EXPECT_STREQ(header.FileName, "a");
  EXPECT_EQ(header.UnpSize, 5u);
  tHeaderDataEx expected = testing_support::ZeroHeader();
  std::strcpy(expected.FileName, "a");
  expected.PackSize = expected.UnpSize = 5;
  expected.FileAttr = header.FileAttr;
  EXPECT_EQ(std::memcmp(&header, &expected, sizeof header), 0);
  plugin.CloseArchive(handle);
}

TEST_F(Exports, ReadHeaderCutsLongNamesAndZeroesTheEnd) {
  const std::string longName(300, 'L');
  define("r", ("F " + longName + " 7\n").c_str());
  HANDLE handle = plugin.Open("r", PK_OM_LIST);
  tHeaderData header;
  std::memset(&header, 0xAB, sizeof header);
  ASSERT_EQ(plugin.ReadHeader(handle, &header), 0);
  EXPECT_EQ(std::string(header.FileName), longName.substr(0, 259));
  EXPECT_EQ(header.UnpSize, 7);
  char* comment = header.CmtBuf;  // a packed field: read by value
  EXPECT_EQ(comment, nullptr);
  EXPECT_EQ(plugin.ProcessFile(handle, PK_SKIP, nullptr, const_cast<char*>("")), 0);

  std::memset(&header, 0xAB, sizeof header);
  EXPECT_EQ(plugin.ReadHeader(handle, &header), E_END_ARCHIVE);
  tHeaderData zero{};
  EXPECT_EQ(std::memcmp(&header, &zero, sizeof header), 0);
  plugin.CloseArchive(handle);
}

TEST_F(Exports, ProcessFileRefusesUnknownOperations) {
  define("o", "F a 5\n");
  HANDLE handle = plugin.Open("o", PK_OM_EXTRACT);
  tHeaderDataEx header;
  ASSERT_EQ(plugin.ReadHeaderEx(handle, &header), 0);
  for (int32_t operation : {3, 4, -1})
    EXPECT_EQ(plugin.ProcessFile(handle, operation, nullptr, nullptr), E_NOT_SUPPORTED);
  plugin.CloseArchive(handle);
  EXPECT_EQ(Describe("o"), "F a 5\n");
}

int32_t gGlobalCalls, gHandleCalls;
int32_t WCX_API GlobalProgress(char*, int32_t) { return ++gGlobalCalls; }
int32_t WCX_API HandleProgress(char*, int32_t) { return ++gHandleCalls; }

TEST_F(Exports, CallbacksSetWithMinusOneServePackingOnly) {
  TempDir src;
  src.Write("f", "data");
  gGlobalCalls = gHandleCalls = 0;
  plugin.SetProcessDataProc(kGlobalHandle, GlobalProgress);
  std::string list = HostList({"f"});
  EXPECT_EQ(plugin.PackFiles(const_cast<char*>("p"), nullptr, src.Slash().data(), list.data(), 0),
            0);
  EXPECT_EQ(gGlobalCalls, 1);

  HANDLE handle = plugin.Open("p", PK_OM_EXTRACT);
  tHeaderDataEx header;
  ASSERT_EQ(plugin.ReadHeaderEx(handle, &header), 0);
  EXPECT_EQ(plugin.ProcessFile(handle, PK_TEST, nullptr, nullptr), 0);
  EXPECT_EQ(gGlobalCalls, 1) << "an opened archive does not use the global callback";
  plugin.SetProcessDataProc(handle, HandleProgress);
  EXPECT_EQ(plugin.ProcessFile(handle, PK_TEST, nullptr, nullptr), 0);
  EXPECT_EQ(gHandleCalls, 1);
  plugin.CloseArchive(handle);

  std::string del = HostList({"f"});
  EXPECT_EQ(plugin.DeleteFiles(const_cast<char*>("p"), del.data()), 0);
  EXPECT_EQ(Describe("p"), "");
  EXPECT_EQ(plugin.DeleteFiles(const_cast<char*>("nowhere"), del.data()), E_EREAD);
}

int32_t gWideCalls;
int32_t WCX_API WideProgress(WCHAR*, int32_t) { return ++gWideCalls; }

// A callback left from an earlier operation in the other form must not win
// over the one the host set last, with -1 or on a handle.
TEST_F(Exports, TheCallbackFormSetLastWins) {
  TempDir src;
  src.Write("f", "data");
  std::string list = HostList({"f"});
  gGlobalCalls = gWideCalls = 0;
  plugin.SetProcessDataProcW(kGlobalHandle, WideProgress);
  plugin.SetProcessDataProc(kGlobalHandle, GlobalProgress);
  ASSERT_EQ(plugin.PackFiles(const_cast<char*>("p"), nullptr, src.Slash().data(), list.data(), 0),
            0);
  EXPECT_EQ(gGlobalCalls, 1);
  EXPECT_EQ(gWideCalls, 0);
  plugin.SetProcessDataProcW(kGlobalHandle, WideProgress);
  ASSERT_EQ(plugin.PackFiles(const_cast<char*>("p"), nullptr, src.Slash().data(), list.data(), 0),
            0);
  EXPECT_EQ(gGlobalCalls, 1);
  EXPECT_EQ(gWideCalls, 1);

  HANDLE handle = plugin.Open("p", PK_OM_EXTRACT);
  plugin.SetProcessDataProcW(handle, WideProgress);
  plugin.SetProcessDataProc(handle, GlobalProgress);
  tHeaderDataEx header;
  ASSERT_EQ(plugin.ReadHeaderEx(handle, &header), 0);
  EXPECT_EQ(plugin.ProcessFile(handle, PK_TEST, nullptr, nullptr), 0);
  EXPECT_EQ(gGlobalCalls, 2);
  EXPECT_EQ(gWideCalls, 1);
  plugin.CloseArchive(handle);
}

// On Windows the unload report is a message box, which a test cannot read.
#ifndef _WIN32

// Runs a host in a child process that loads the test plug-in, lists part of
// an archive, optionally closes it, and unloads; returns what the plug-in
// wrote to standard error.
std::string UnloadReport(bool closeArchive) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], STDERR_FILENO);
    close(pipeFds[0]);
    {
      Plugin plugin(TEST_PLUGIN);
      auto define =
          reinterpret_cast<void (*)(const char*, const char*)>(plugin.Symbol("qorTest_Define"));
      define("leak", "D A\nF A/x 1\nF b 1\n");
      HANDLE handle = plugin.Open("leak", PK_OM_LIST);
      tHeaderDataEx header;
      plugin.ReadHeaderEx(handle, &header);
      plugin.ReadHeaderEx(handle, &header);
      if (closeArchive) plugin.CloseArchive(handle);
      plugin.Unload();
    }
    _exit(0);
  }
  close(pipeFds[1]);
  std::string output;
  char buffer[256];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return output;
}

TEST(Unload, ReportsNodesOfAnArchiveLeftOpen) {
  // The root, folder A and its entry x, and entry b are alive.
  EXPECT_EQ(UnloadReport(false), "testWCX.wcx: Memory outflow: 4 TqorWCXFiles not destroyed\n");
  EXPECT_EQ(UnloadReport(true), "");
}

#endif

}  // namespace
