#include "pack_sources.h"

#include <algorithm>
#include <map>

#include "host_conventions.h"
#include "host_error.h"
#include "host_system.h"
#include "progress.h"

namespace fs = std::filesystem;

namespace wcxhost {
namespace {

class Collector {
 public:
  Collector(PackGroup& group, fs::path archive) : group_(group), archive_(std::move(archive)) {}

  // `status` decides what `path` is: the user's own arguments are followed
  // when they are links, links found inside folders are not.
  void Add(const fs::path& path, const std::string& name, fs::file_status status) {
    if (fs::is_directory(status)) {
      AddFolder(path, name);
    } else if (std::error_code error; fs::is_regular_file(fs::status(path, error))) {
      if (path == archive_) return;
      group_.names.push_back(name);
      group_.total_bytes += fs::file_size(path, error);
    } else {
      PrintMessage("skipping " + Quoted(sys::PathString(path)) + ": not a regular file or folder");
    }
  }

 private:
  void AddFolder(const fs::path& folder, const std::string& name) {
    group_.names.push_back(name + kArchiveDelim);
    group_.folders.push_back(folder);
    std::vector<fs::directory_entry> children;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      children.push_back(*it);
    }
    if (error) throw HostError("cannot read folder " + Quoted(sys::PathString(folder)) + ": " + error.message());
    std::sort(children.begin(), children.end());
    for (const fs::directory_entry& child : children) {
      Add(child.path(), name + kArchiveDelim + sys::PathString(child.path().filename()), child.symlink_status(error));
    }
  }

  PackGroup& group_;
  fs::path archive_;
};

}  // namespace

std::vector<PackGroup> CollectPackSources(const std::vector<std::string>& sources, const std::string& archive) {
  std::vector<PackGroup> groups;
  std::map<std::string, size_t> group_of_folder;
  std::map<std::string, fs::path> source_of_name;
  const fs::path archive_path = fs::absolute(archive).lexically_normal();
  for (const std::string& source : sources) {
    fs::path path = fs::absolute(source).lexically_normal();
    if (!path.has_filename()) path = path.parent_path();
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) throw HostError("cannot find " + Quoted(source));
    std::string name = sys::PathString(path.filename());
    if (name.empty() || name == "." || name == "..") throw HostError("cannot add " + Quoted(source) + ": it has no name");

    auto [known, inserted] = source_of_name.emplace(name, path);
    if (!inserted) {
      if (known->second == path) continue;
      throw HostError(Quoted(sys::PathString(known->second)) + " and " + Quoted(sys::PathString(path)) + " would both be stored as " +
                      Quoted(name));
    }
    std::string folder = sys::PathString(path.parent_path());
    if (folder.empty() || folder.back() != kArchiveDelim) folder += kArchiveDelim;
    auto [slot, new_folder] = group_of_folder.emplace(folder, groups.size());
    if (new_folder) groups.push_back(PackGroup{folder, {}, {}, 0});
    Collector(groups[slot->second], archive_path).Add(path, name, status);
  }
  return groups;
}

}  // namespace wcxhost
