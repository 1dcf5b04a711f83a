// How entries look to the host on this system, following the system's file
// manager: Double Commander on POSIX (`/`, st_mode attributes, Unix time) and
// Total Commander on Windows (`\`, DOS attributes, packed DOS local time).
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace wcxhost {

#ifdef _WIN32
inline constexpr char kArchiveDelim = '\\';
#else
inline constexpr char kArchiveDelim = '/';
#endif

// The plug-in file the host loads when no --plugin is given, looked up
// beside the host's executable.
#ifdef _WIN64
inline constexpr std::string_view kDefaultPluginName = "qorStorageWCX.wcx64";
#else
inline constexpr std::string_view kDefaultPluginName = "qorStorageWCX.wcx";
#endif

// A header describes a folder when its attributes say so or its name ends
// with the delimiter.
bool IsFolderEntry(int32_t file_attr, std::string_view file_name);

// A header's FileTime as local calendar time; nullopt for 0 (no time).
std::optional<std::tm> DecodeEntryTime(int32_t file_time);

// A header's FileAttr in the system's usual letters ("drwxr-xr-x", "DRHSA").
std::string FormatAttributes(int32_t file_attr);

// A path as the archive spells it: the user's `/` turned into the delimiter,
// without leading "./" or delimiters and without trailing delimiters.
std::string ToArchivePath(std::string_view path);

// True when the archive path stays inside the folder it is extracted to: not
// absolute and no ".." component.
bool IsContainedPath(std::string_view archive_path);

}  // namespace wcxhost
