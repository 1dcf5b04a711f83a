#include "pack_sources.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "host_conventions.h"
#include "host_error.h"
#include "host_system.h"
#include "progress.h"

namespace fs = std::filesystem;

namespace wcxhost {
namespace {

// A child's place in its folder's order: the first bytes of its name, so
// that most comparisons read neither the name nor the child. Names of
// 8-bit units only; 0 pads (no name holds it), so a prefix sorts first.
struct SortKey {
  uint64_t high = 0, low = 0;
  const sys::FolderChild* child = nullptr;
};

SortKey KeyOf(const sys::FolderChild& child) {
  SortKey key{0, 0, &child};
  const auto& name = child.name.native();
  if constexpr (sizeof name[0] == 1) {
    for (size_t i = 0; i < 16 && i < name.size(); ++i) {
      uint64_t& half = i < 8 ? key.high : key.low;
      half |= uint64_t{static_cast<unsigned char>(name[i])} << (56 - 8 * (i % 8));
    }
  }
  return key;
}

bool SortsBefore(const SortKey& a, const SortKey& b) {
  if (a.high != b.high) return a.high < b.high;
  if (a.low != b.low) return a.low < b.low;
  return a.child->name.native() < b.child->name.native();
}

// A file that cannot be measured any more adds nothing to the total; adding
// it reports why.
uint64_t SizeOrZero(uintmax_t size, const std::error_code& error) { return error ? 0 : size; }

class Collector {
 public:
  Collector(PackGroup& group, fs::path archive) : group_(group), archive_(std::move(archive)) {}

  // The user's own arguments are followed when they are links.
  void AddArgument(const fs::path& path, const std::string& name, fs::file_status status) {
    if (fs::is_directory(status))
      AddFolder(path, name);
    else if (std::error_code error; fs::is_regular_file(status)) {
      if (path != archive_) AddFile(name, SizeOrZero(fs::file_size(path, error), error));
    } else
      Skip(path);
  }

 private:
  void AddFile(const std::string& name, uint64_t size) {
    group_.AddName(name);
    group_.total_bytes += size;
  }

  static void Skip(const fs::path& path) {
    PrintMessage("skipping " + Quoted(sys::PathString(path)) + ": not a regular file or folder");
  }

  void AddFolder(const fs::path& folder, const std::string& name) {
    group_.AddName(name + kArchiveDelim);
    group_.folders.push_back(folder);
    std::error_code error;
    std::vector<sys::FolderChild> children = sys::ReadFolder(folder, error);
    if (error) throw HostError("cannot read folder " + Quoted(sys::PathString(folder)) + ": " + error.message());
    // Sorted through keys, by their native strings: names of one component
    // order so as paths do, and moving a path splits it again.
    std::vector<SortKey> order;
    order.reserve(children.size());
    for (const sys::FolderChild& child : children) order.push_back(KeyOf(child));
    std::sort(order.begin(), order.end(), SortsBefore);
    const bool holds_archive = folder == archive_.parent_path();
    for (const SortKey& listed : order) {
      const sys::FolderChild& child = *listed.child;
      const std::string child_name = name + kArchiveDelim + sys::PathString(child.name);
      if (child.kind == sys::FolderChild::Kind::kFolder)
        AddFolder(folder / child.name, child_name);
      else if (child.kind == sys::FolderChild::Kind::kOther)
        Skip(folder / child.name);
      else if (!holds_archive || child.name != archive_.filename())
        AddFile(child_name, child.size);
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
    if (new_folder) groups.emplace_back().source_folder = folder;
    Collector(groups[slot->second], archive_path).AddArgument(path, name, status);
  }
  return groups;
}

}  // namespace wcxhost
