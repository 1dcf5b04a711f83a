#include "wcx/add_list.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "platform/os.h"
#include "rtl/file_names.h"

namespace wcx {

AddList::AddList(const char* list, const std::string& basePath) : list_(list) {
  std::vector<std::string_view> names;
  for (const char* at = list; at && *at; at += names.back().size() + 1) names.emplace_back(at);
  kinds_.assign(names.size(), Listed::kFile);
  MarkRepeated(names);
  // Each name is looked up in its own folder, held open while the names of
  // that folder follow each other, as hosts list them.
  platform::SourceFolder folder;
  std::string folderPath = basePath;
  std::string name;
  for (size_t i = 0; i < names.size(); ++i) {
    if (kinds_[i] == Listed::kRepeated) continue;
    if (names[i].back() == platform::kPathDelim) {
      kinds_[i] = Listed::kFolder;
      continue;
    }
    const size_t split = names[i].rfind(platform::kPathDelim) + 1;  // 0 without a folder
    folderPath.replace(basePath.size(), std::string::npos, names[i].substr(0, split));
    if (folder.Path() != folderPath) folder.Open(folderPath);
    name.assign(names[i].substr(split));
    const std::optional<platform::PathInfo> info = platform::GetPathInfo(folder, name);
    if (info && info->kind == platform::PathKind::kDirectory)
      kinds_[i] = Listed::kFolder;
    else if (info)
      bytes_ += static_cast<uint64_t>(info->size);
  }
}

void AddList::MarkRepeated(const std::vector<std::string_view>& names) {
  // Sorted by the hash of their keys, names equal as file names meet in
  // runs, each in the order of the list; the first of each stays.
  std::vector<std::pair<size_t, size_t>> keys;
  keys.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i)
    keys.emplace_back(std::hash<std::string>{}(rtl::LowerCaseFileName(names[i])), i);
  std::sort(keys.begin(), keys.end());
  for (size_t run = 0; run < keys.size();) {
    size_t end = run + 1;
    while (end < keys.size() && keys[end].first == keys[run].first) ++end;
    for (size_t a = run; a < end; ++a) {
      if (kinds_[keys[a].second] == Listed::kRepeated) continue;
      for (size_t b = a + 1; b < end; ++b)
        if (rtl::SameFileName(names[keys[a].second], names[keys[b].second]))
          kinds_[keys[b].second] = Listed::kRepeated;
    }
    run = end;
  }
}

AddList::Entry AddList::Iterator::operator*() const {
  const Listed kind = list_->kinds_[index_];
  return Entry{std::string_view(at_), kind == Listed::kFolder ? SourceKind::kFolder : SourceKind::kFile,
               kind == Listed::kRepeated};
}

AddList::Iterator& AddList::Iterator::operator++() {
  at_ += std::strlen(at_) + 1;
  ++index_;
  return *this;
}

}  // namespace wcx
