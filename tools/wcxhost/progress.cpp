#include "progress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>

#include "host_system.h"

namespace wcxhost {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kVolumeAsk = 0;  // PK_VOL_ASK: the plug-in wants the next volume's name
constexpr size_t kLineWidth = 79;
constexpr size_t kBarWidth = 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// Set from the interrupt handler, hence a lock-free atomic and nothing else.
std::atomic<bool> cancel_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct Progress {
  bool show_bar = false;
  int64_t cancel_after = -1;
  int64_t callbacks = 0;
  bool active = false;
  uint64_t total_bytes = 0;
  uint64_t done_bytes = 0;
  std::optional<int> total_percent;
  std::optional<int> file_percent;
  std::string file_name;
  Clock::time_point start;
  std::optional<Clock::time_point> last_draw;
  size_t drawn_width = 0;
};
Progress progress;

void RequestCancel() { cancel_requested.store(true); }

std::string FormatBytes(double bytes) {
  constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::optional<int> CurrentPercent() {
  if (progress.total_percent) return progress.total_percent;
  if (progress.total_bytes > 0) {
    uint64_t done = std::min(progress.done_bytes, progress.total_bytes);
    return static_cast<int>(done * 100 / progress.total_bytes);
  }
  return progress.file_percent;
}

std::string ProgressLine() {
  std::string line;
  if (std::optional<int> percent = CurrentPercent()) {
    size_t filled = static_cast<size_t>(*percent) * kBarWidth / 100;
    line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
    char text[8];
    std::snprintf(text, sizeof text, "%3d%%  ", *percent);
    line += text;
  }
  line += FormatBytes(static_cast<double>(progress.done_bytes));
  double seconds = std::chrono::duration<double>(Clock::now() - progress.start).count();
  if (seconds >= 0.5) line += "  " + FormatBytes(progress.done_bytes / seconds) + "/s";
  line += cancel_requested.load() ? "  cancelling" : "  ";
  if (line.size() < kLineWidth && !progress.file_name.empty()) {
    size_t room = kLineWidth - line.size() - 1;
    const std::string& name = progress.file_name;
    line += " " + (name.size() <= room ? name : "..." + name.substr(name.size() - room + 3));
  }
  return line.substr(0, kLineWidth);
}

void Draw(const std::string& line) {
  size_t erase = progress.drawn_width > line.size() ? progress.drawn_width - line.size() : 0;
  std::fprintf(stderr, "\r%s%s", line.c_str(), std::string(erase, ' ').c_str());
  if (erase > 0) std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  progress.drawn_width = line.size();
}

void Erase() {
  if (progress.drawn_width == 0) return;
  std::fprintf(stderr, "\r%s\r", std::string(progress.drawn_width, ' ').c_str());
  std::fflush(stderr);
  progress.drawn_width = 0;
}

void Redraw() {
  if (!progress.show_bar || !progress.active) return;
  Clock::time_point now = Clock::now();
  if (progress.last_draw && now - *progress.last_draw < kRedrawInterval) return;
  progress.last_draw = now;
  Draw(ProgressLine());
}

}  // namespace

void SetUpProgress(bool show_bar, int64_t cancel_after) {
  progress.show_bar = show_bar;
  progress.cancel_after = cancel_after;
  sys::OnInterrupt(RequestCancel);
}

bool CancelRequested() { return cancel_requested.load(); }

void PrintMessage(const std::string& message) {
  Erase();
  std::fprintf(stderr, "wcxhost: %s\n", message.c_str());
  // The bar comes back with the next callback.
  progress.last_draw.reset();
}

int32_t WCX_API OnProcessData(char* file_name, int32_t size) {
  ++progress.callbacks;
  if (progress.cancel_after >= 0 && progress.callbacks > progress.cancel_after) RequestCancel();
  // The name is only ever drawn: without a bar it is not kept.
  if (progress.show_bar && file_name != nullptr && *file_name != '\0') progress.file_name = file_name;
  if (size > 0) {
    progress.done_bytes += static_cast<uint64_t>(size);
  } else if (size <= -1 && size >= -100) {
    progress.total_percent = -size;
  } else if (size <= -1000 && size >= -1100) {
    progress.file_percent = -(size + 1000);
  }
  Redraw();
  return CancelRequested() ? 0 : 1;
}

int32_t WCX_API OnChangeVolume(char*, int32_t mode) {
  // There is nobody to ask for another volume; a notification is fine.
  return mode == kVolumeAsk ? 0 : 1;
}

int32_t WCX_API OnProcessDataW(wcx::WCHAR* file_name, int32_t size) {
  std::string name = file_name && progress.show_bar
                         ? sys::FromWide(reinterpret_cast<const char16_t*>(file_name))
                         : "";
  return OnProcessData(name.data(), size);
}

int32_t WCX_API OnChangeVolumeW(wcx::WCHAR*, int32_t mode) { return OnChangeVolume(nullptr, mode); }

ProgressScope::ProgressScope(uint64_t total_bytes) {
  progress.active = true;
  progress.total_bytes = total_bytes;
  progress.done_bytes = 0;
  progress.total_percent.reset();
  progress.file_percent.reset();
  progress.file_name.clear();
  progress.start = Clock::now();
  progress.last_draw.reset();
}

ProgressScope::~ProgressScope() {
  Erase();
  progress.active = false;
}

}  // namespace wcxhost
