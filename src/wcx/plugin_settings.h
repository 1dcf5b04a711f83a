// The plug-in's settings, kept where the host keeps its plug-ins' settings:
// the ini file it names through PackSetDefaultParams, section
// [qorStorageWCX]. Each setting is read from the file when it is asked for,
// so a change takes effect with the next archive opened; a host that names
// no file gets the defaults.
#pragma once

#include <string>

namespace wcx {

inline constexpr const char* kSettingsSection = "qorStorageWCX";

// The host's ini file, UTF-8. Safe against concurrent calls and readers.
void SetSettingsFile(const std::string& iniFile);

// Whether a yes/no setting is on: "0", "no", "off" or "false" turn it off,
// any other value on; a missing one takes the default.
enum class SettingDefault { kOff, kOn };
bool SettingEnabled(const std::string& key, SettingDefault byDefault);

}  // namespace wcx
