#include "wcx/file_lists.h"

#include <cstring>
#include <unordered_set>

#include "platform/os.h"
#include "rtl/file_names.h"

namespace wcx {
namespace {

bool IsNamePartDelimiter(char ch) {
  return ch == platform::kPathDelim || (platform::kPathDelim == '\\' && ch == ':');
}

// "dir/*.*" -> "dir", "*.*" -> "": the host's way of naming a whole folder.
void ReplaceFolderWildcard(std::string& entry) {
  size_t namePart = entry.size();
  while (namePart > 0 && !IsNamePartDelimiter(entry[namePart - 1])) --namePart;
  if (std::string_view(entry).substr(namePart) != "*.*") return;
  entry.resize(namePart);
  if (!entry.empty() && entry.back() == platform::kPathDelim) entry.pop_back();
}

}  // namespace

void ParseFileList(const char* list, TStringList& names) {
  if (list == nullptr) return;
  while (*list != '\0') {
    size_t length = std::strlen(list);
    names.emplace_back(list, length);
    list += length + 1;
  }
}

void RemoveDuplicateNames(TStringList& names) {
  std::unordered_set<std::string> seen;
  TStringList kept;
  kept.reserve(names.size());
  for (std::string& name : names)
    if (seen.insert(rtl::LowerCaseFileName(name)).second) kept.push_back(std::move(name));
  names = std::move(kept);
}

void PrepareDeleteList(TStringList& names) {
  for (std::string& entry : names) ReplaceFolderWildcard(entry);
  RemoveDuplicateNames(names);

  // An entry goes when one of its leading folder paths is itself an entry.
  std::unordered_set<std::string> lowered;
  for (const std::string& entry : names) lowered.insert(rtl::LowerCaseFileName(entry));
  TStringList kept;
  kept.reserve(names.size());
  for (std::string& entry : names) {
    std::string low = rtl::LowerCaseFileName(entry);
    bool inside = false;
    for (size_t p = low.find(platform::kPathDelim); p != std::string::npos && !inside;
         p = low.find(platform::kPathDelim, p + 1))
      inside = p + 1 < low.size() && lowered.count(low.substr(0, p)) > 0;
    if (!inside) kept.push_back(std::move(entry));
  }
  names = std::move(kept);
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == platform::kPathDelim) return path;
  return path + platform::kPathDelim;
}

}  // namespace wcx
