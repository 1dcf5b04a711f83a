#include "archive_session.h"

#include <filesystem>

#include "host_conventions.h"
#include "host_system.h"
#include "progress.h"
#include "wcx_results.h"

namespace wcxhost {
namespace {

// Fills entry from a header. The entry's own path buffer is reused: a
// listing fills one entry per header.
void FillEntry(const Header& header, Entry& entry) {
  entry.path.assign(header.name);
  entry.folder = IsFolderEntry(header.attr, entry.path);
  while (!entry.path.empty() && (entry.path.back() == kArchiveDelim || entry.path.back() == '/')) {
    entry.path.pop_back();
  }
  entry.size = header.size;
  entry.packed_size = header.packed_size;
  entry.attr = header.attr;
  entry.time = header.time;
}

}  // namespace

ArchiveSession::ArchiveSession(const Plugin& plugin, const std::string& archive, int32_t open_mode)
    : plugin_(plugin), archive_(archive) {
  std::string full_path = sys::PathString(std::filesystem::absolute(archive));
  int32_t open_result = 0;
  handle_ = plugin_.Open(full_path, open_mode, open_result);
  if (handle_ == nullptr) {
    if (open_result == 0) {
      throw HostError("cannot open archive " + Quoted(archive_) + " (the plug-in gave no handle and no result code)");
    }
    throw ResultError("cannot open archive " + Quoted(archive_), open_result);
  }
  plugin_.SetCallbacks(handle_);
}

ArchiveSession::~ArchiveSession() {
  if (handle_ != nullptr) plugin_.CloseArchive(handle_);
}

bool ArchiveSession::NextEntry(Entry& entry) {
  Header header;
  const int32_t result = plugin_.ReadNextHeader(handle_, header);
  FillEntry(header, entry);
  if (result == wcx::E_END_ARCHIVE) return false;
  if (result == 0) {
    any_entry_ = true;
    return true;
  }
  if (!plugin_.lenient_end || !any_entry_) throw ResultError("cannot read archive " + Quoted(archive_), result);
  static bool warned = false;
  if (!warned) {
    PrintMessage("warning: the listing of archive " + Quoted(archive_) +
                 " ended with a result other than E_END_ARCHIVE (" + DescribeResult(result) + ")");
    warned = true;
  }
  return false;
}

int32_t ArchiveSession::Process(int32_t operation, std::string dest_name) {
  return plugin_.Process(handle_, operation, dest_name);
}

void ArchiveSession::Skip(const Entry& entry) {
  if (int32_t result = Process(wcx::PK_SKIP); result != 0) {
    throw ResultError("cannot skip " + Quoted(entry.path) + " in archive " + Quoted(archive_), result);
  }
}

void ArchiveSession::Close() {
  int32_t result = plugin_.CloseArchive(handle_);
  handle_ = nullptr;
  if (result != 0) throw ResultError("cannot close archive " + Quoted(archive_), result);
}

}  // namespace wcxhost
