#include "wcx/add_list.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/os.h"
#include "platform/unicode.h"
#include "rtl/file_names.h"
#include "wcx/name_index.h"

namespace wcx {

AddList::AddList(ListedNames list) : list_(list) {
  std::vector<size_t> starts;
  if (list_.utf8 || list_.wide) {
    const auto unitAt = [this](size_t at) { return list_.utf8 ? list_.utf8[at] : list_.wide[at]; };
    for (size_t at = 0; unitAt(at) != 0;) {
      const size_t next = NextAfter(at);
      starts.push_back(at);
      // The delimiter is one unit in either form: no conversion needed.
      kinds_.push_back(unitAt(next - 2) == platform::kPathDelim ? Listed::kFolder : Listed::kFile);
      at = next;
    }
  }
  MarkRepeated(starts);
}

uint64_t AddList::SourceBytes(const std::string& basePath) const {
  // Each name is looked up in its own folder, held open while the names of
  // that folder follow each other, as hosts list them.
  platform::SourceFolder folder;
  std::string folderPath = basePath;
  std::string name;
  uint64_t bytes = 0;
  for (const Entry& entry : *this) {
    if (entry.repeated || entry.kind == SourceKind::kFolder) continue;
    const size_t split = entry.name.rfind(platform::kPathDelim) + 1;  // 0 without a folder
    folderPath.replace(basePath.size(), std::string::npos, entry.name.substr(0, split));
    if (folder.Path() != folderPath) folder.Open(folderPath);
    name.assign(entry.name.substr(split));
    const std::optional<platform::PathInfo> info = platform::GetPathInfo(folder, name);
    if (info && info->kind != platform::PathKind::kDirectory) bytes += static_cast<uint64_t>(info->size);
  }
  return bytes;
}

std::string_view AddList::NameAt(size_t at, std::string& converted) const {
  if (list_.utf8) return list_.utf8 + at;
  platform::Utf16ToUtf8(list_.wide + at, converted);
  return converted;
}

size_t AddList::NextAfter(size_t at) const {
  return at + 1 + (list_.utf8 ? std::strlen(list_.utf8 + at) : std::u16string_view(list_.wide + at).size());
}

void AddList::MarkRepeated(const std::vector<size_t>& starts) {
  // Sorted by the hash of their keys, names equal as file names meet in
  // runs, each in the order of the list; the first of each stays.
  std::vector<std::pair<size_t, size_t>> keys;
  keys.reserve(starts.size());
  std::string converted;
  for (size_t i = 0; i < starts.size(); ++i)
    keys.emplace_back(NameKeyHash(NameAt(starts[i], converted)), i);
  std::sort(keys.begin(), keys.end());
  std::string other;
  for (size_t run = 0; run < keys.size();) {
    size_t end = run + 1;
    while (end < keys.size() && keys[end].first == keys[run].first) ++end;
    for (size_t a = run; a < end; ++a) {
      if (kinds_[keys[a].second] == Listed::kRepeated) continue;
      for (size_t b = a + 1; b < end; ++b)
        if (rtl::SameFileName(NameAt(starts[keys[a].second], converted),
                              NameAt(starts[keys[b].second], other)))
          kinds_[keys[b].second] = Listed::kRepeated;
    }
    run = end;
  }
}

AddList::Entry AddList::Iterator::operator*() const {
  const Listed kind = list_->kinds_[index_];
  return Entry{list_->NameAt(at_, converted_),
               kind == Listed::kFolder ? SourceKind::kFolder : SourceKind::kFile,
               kind == Listed::kRepeated};
}

AddList::Iterator& AddList::Iterator::operator++() {
  at_ = list_->NextAfter(at_);
  ++index_;
  return *this;
}

}  // namespace wcx
