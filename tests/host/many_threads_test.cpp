// The plug-in driven from many threads at once, as Double Commander runs two
// operations side by side and Total Commander runs background ones: each
// thread sets its callbacks with -1 and packs, lists, extracts and deletes
// through the 8-bit or the W exports, on archives of its own or on one they
// share. Progress must reach the thread's own callback, every archive must
// keep its bytes, and unloading afterwards must report nothing (the
// fixture's TearDown).
#include <array>
#include <atomic>
#include <functional>
#include <thread>
#include <utility>

#include "storage_plugin_fixture.h"

namespace storage_plugin {
namespace {

constexpr int kThreads = 8;

enum class Interface { kAnsi, kWide };
enum class Reply { kGoOn, kCancel };

// The thread a test started, by number; -1 elsewhere.
thread_local int tThread = -1;

struct CallbackLog {
  std::array<std::atomic<int>, kThreads> calls{};
  std::atomic<int> misrouted = 0;
  std::array<std::atomic<Reply>, kThreads> replies{};
};
CallbackLog gLog;

// Distinct callbacks per thread and form, so that each call shows whose it is.
template <int kOwner>
int32_t Note() {
  gLog.calls[kOwner]++;
  if (tThread != kOwner) gLog.misrouted++;
  return gLog.replies[kOwner] == Reply::kCancel ? 0 : 1;
}
template <int kOwner>
int32_t WCX_API AnsiProgress(char*, int32_t) {
  return Note<kOwner>();
}
template <int kOwner>
int32_t WCX_API WideProgress(WCHAR*, int32_t) {
  return Note<kOwner>();
}

template <int... kOwners>
constexpr auto AnsiCallbacks(std::integer_sequence<int, kOwners...>) {
  return std::array<tProcessDataProc, kThreads>{AnsiProgress<kOwners>...};
}
template <int... kOwners>
constexpr auto WideCallbacks(std::integer_sequence<int, kOwners...>) {
  return std::array<tProcessDataProcW, kThreads>{WideProgress<kOwners>...};
}
constexpr auto kAnsiCallbacks = AnsiCallbacks(std::make_integer_sequence<int, kThreads>());
constexpr auto kWideCallbacks = WideCallbacks(std::make_integer_sequence<int, kThreads>());

std::basic_string<WCHAR> Wide(const std::string& ascii) {
  return std::basic_string<WCHAR>(ascii.begin(), ascii.end());
}

void RunThreads(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t)
    threads.emplace_back([&body, t] {
      tThread = t;
      body(t);
    });
  for (std::thread& thread : threads) thread.join();
}

// A stream big enough for several progress reports, different per thread.
std::string Content(int thread, int round) {
  std::string bytes(150000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7 + thread * 31 + round);
  return bytes;
}

class ManyThreads : public StoragePlugin {
 protected:
  void SetUp() override {
    for (auto& calls : gLog.calls) calls = 0;
    for (auto& reply : gLog.replies) reply = Reply::kGoOn;
    gLog.misrouted = 0;
  }

  // Sets the thread's callback with -1 in the form asked for, after one of
  // the other form: the one set last must win.
  void SetGlobalProgress(int thread, Interface form) {
    if (form == Interface::kWide) {
      plugin->SetProcessDataProc(kGlobalHandle, kAnsiCallbacks[(thread + 1) % kThreads]);
      plugin->SetProcessDataProcW(kGlobalHandle, kWideCallbacks[thread]);
    } else {
      plugin->SetProcessDataProcW(kGlobalHandle, kWideCallbacks[(thread + 1) % kThreads]);
      plugin->SetProcessDataProc(kGlobalHandle, kAnsiCallbacks[thread]);
    }
  }

  int32_t PackIn(Interface form, const std::string& arc, const std::string& src,
                 const std::string& name, int32_t flags) {
    std::string list = name + '\0' + '\0';
    if (form == Interface::kAnsi)
      return plugin->PackFiles(const_cast<char*>(arc.c_str()), nullptr,
                               const_cast<char*>(src.c_str()), list.data(), flags);
    auto wideArc = Wide(arc), wideSrc = Wide(src), wideList = Wide(list);
    return plugin->PackFilesW(wideArc.data(), nullptr, wideSrc.data(), wideList.data(), flags);
  }

  int32_t DeleteIn(Interface form, const std::string& arc, const std::string& name) {
    std::string list = name + '\0' + '\0';
    if (form == Interface::kAnsi)
      return plugin->DeleteFiles(const_cast<char*>(arc.c_str()), list.data());
    auto wideArc = Wide(arc), wideList = Wide(list);
    return plugin->DeleteFilesW(wideArc.data(), wideList.data());
  }

  // Extracts name through a handle of its own with the thread's callback
  // on it; the extracted bytes, or the error in brackets.
  std::string ExtractIn(Interface form, int thread, const std::string& arc, const std::string& name,
                        const std::string& target) {
    HANDLE handle = nullptr;
    auto wideArc = Wide(arc);
    if (form == Interface::kAnsi) {
      handle = plugin->Open(arc, PK_OM_EXTRACT);
      plugin->SetProcessDataProc(handle, kAnsiCallbacks[thread]);
    } else {
      tOpenArchiveDataW data{};
      data.ArcName = wideArc.data();
      data.OpenMode = PK_OM_EXTRACT;
      handle = plugin->OpenArchiveW(&data);
      plugin->SetProcessDataProcW(handle, kWideCallbacks[thread]);
    }
    std::string result = "[not listed]";
    for (;;) {
      tHeaderDataEx header;
      if (int32_t read = plugin->ReadHeaderEx(handle, &header); read != 0) {
        if (read != E_END_ARCHIVE) result = "[read " + std::to_string(read) + "]";
        break;
      }
      if (name != header.FileName) {
        plugin->ProcessFile(handle, PK_SKIP, nullptr, nullptr);
        continue;
      }
      int32_t done =
          form == Interface::kAnsi
              ? plugin->ProcessFile(handle, PK_EXTRACT, nullptr, const_cast<char*>(target.c_str()))
              : plugin->ProcessFileW(handle, PK_EXTRACT, nullptr, Wide(target).data());
      result = done == 0 ? ReadFile(target) : "[extract " + std::to_string(done) + "]";
      break;
    }
    plugin->CloseArchive(handle);
    return result;
  }
};

TEST_F(ManyThreads, EachThreadHearsOnlyItsOwnProgressAndCancel) {
  constexpr int kRounds = 6;
  constexpr int kCanceller = 3;
  gLog.replies[kCanceller] = Reply::kCancel;
  std::array<std::string, kThreads> failures;
  RunThreads(kThreads, [&](int t) {
    const Interface form = t % 2 ? Interface::kWide : Interface::kAnsi;
    const int32_t flags = t % 4 >= 2 ? PK_PACK_MOVE_FILES : 0;
    const std::string arc = dir / ("own" + std::to_string(t) + ".doc");
    const std::string src = dir.Slash() + "src" + std::to_string(t) + platform::kPathDelim;
    for (int round = 0; round < kRounds; ++round) {
      const std::string content = Content(t, round);
      dir.Write("src" + std::to_string(t) + "/data.bin", content);
      SetGlobalProgress(t, form);
      const int before = gLog.calls[t];
      const int32_t packed = PackIn(form, arc, src, "data.bin", flags);
      if (t == kCanceller) {
        if (packed != E_EABORTED) failures[t] += "the cancel gave " + std::to_string(packed) + "; ";
        continue;
      }
      if (packed != 0) failures[t] += "pack gave " + std::to_string(packed) + "; ";
      if (gLog.calls[t] == before) failures[t] += "no progress of its own; ";
      if (ExtractIn(form, t, arc, "data.bin", dir / ("out" + std::to_string(t))) != content)
        failures[t] += "other bytes came back; ";
      if (DeleteIn(form, arc, "data.bin") != 0) failures[t] += "delete failed; ";
    }
  });
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
  EXPECT_EQ(gLog.misrouted, 0) << "progress that reached another thread's callback";
  EXPECT_GT(gLog.calls[kCanceller], 0);
}

// Readers list and extract one archive while a writer adds to it and
// deletes from it: readers always see whole states, and the writer gets its
// turn although a reader nearly always holds the file. The writer starts only
// once every reader has read, so the readers are there however the threads
// are scheduled.
TEST_F(ManyThreads, AWriterGetsItsTurnBesideReadersOfTheSameArchive) {
  constexpr int kWrites = 12;
  const std::string arc = dir / "shared.doc";
  const std::string base = Content(99, 0);
  dir.Write("src/base.bin", base);
  ASSERT_EQ(Pack(arc, nullptr, dir.Slash() + "src" + platform::kPathDelim, {"base.bin"}), 0);

  std::atomic<bool> writing = true;
  std::array<std::string, kThreads> failures;
  std::atomic<int> readersIn = 0;
  RunThreads(kThreads, [&](int t) {
    const Interface form = t % 2 ? Interface::kWide : Interface::kAnsi;
    if (t == 0) {
      while (readersIn < kThreads - 1) std::this_thread::yield();
      const std::string src = dir.Slash() + "src" + platform::kPathDelim;
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = "new" + std::to_string(i) + ".bin";
        dir.Write("src/" + name, Content(0, i));
        SetGlobalProgress(t, form);
        if (int32_t packed = PackIn(form, arc, src, name, 0); packed != 0)
          failures[t] += "pack " + std::to_string(i) + " gave " + std::to_string(packed) + "; ";
        if (i % 2 && DeleteIn(form, arc, name) != 0) failures[t] += "a delete failed; ";
      }
      writing = false;
      return;
    }
    const std::string target = dir / ("read" + std::to_string(t));
    for (bool first = true; first || writing; first = false) {
      std::string got = ExtractIn(form, t, arc, "base.bin", target);
      if (got != base) failures[t] += got.substr(0, 20) + "; ";
      if (first) readersIn++;
    }
  });
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
  EXPECT_EQ(gLog.misrouted, 0);
  int32_t end = 0;
  EXPECT_EQ(List(arc, &end).size(), 1u + kWrites / 2);
  EXPECT_EQ(end, E_END_ARCHIVE);
}

}  // namespace
}  // namespace storage_plugin
