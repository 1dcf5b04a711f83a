#include "wcx/plugin_settings.h"

#include <mutex>
#include <optional>

#include "platform/os.h"
#include "rtl/file_names.h"

namespace wcx {
namespace {

std::mutex gSettingsLock;
std::string gSettingsFile;  // guarded by gSettingsLock

std::string CurrentSettingsFile() {
  std::lock_guard<std::mutex> guard(gSettingsLock);
  return gSettingsFile;
}

}  // namespace

void SetSettingsFile(const std::string& iniFile) {
  std::lock_guard<std::mutex> guard(gSettingsLock);
  gSettingsFile = iniFile;
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
