#include "wcx/plugin_settings.h"

#include <mutex>
#include <optional>

#include "platform/os.h"
#include "rtl/file_names.h"

namespace wcx {
namespace {

// Held by plain pointers: freed at unload, also when a host ends its
// process without unloading and static objects are gone already.
std::mutex& SettingsLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::string& SettingsFile() {
  static std::string* file = new std::string;
  return *file;
}

std::string CurrentSettingsFile() {
  std::lock_guard<std::mutex> guard(SettingsLock());
  return SettingsFile();
}

}  // namespace

void SetSettingsFile(const std::string& iniFile) {
  std::lock_guard<std::mutex> guard(SettingsLock());
  SettingsFile() = iniFile;
}

bool SettingEnabled(const std::string& key, SettingDefault byDefault) {
  const std::optional<std::string> value =
      platform::ReadIniValue(CurrentSettingsFile(), kSettingsSection, key);
  if (!value) return byDefault == SettingDefault::kOn;
  for (const char* off : {"0", "no", "off", "false"})
    if (rtl::SameFileName(*value, off)) return false;
  return true;
}

}  // namespace wcx
