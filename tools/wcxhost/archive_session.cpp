#include "archive_session.h"

#include <cstring>
#include <filesystem>

#include "host_conventions.h"
#include "progress.h"
#include "wcx_results.h"

namespace wcxhost {
namespace {

// Fills entry from a header. The name field may lack its terminating zero.
// The entry's own path buffer is reused: a listing fills one entry per
// header.
template <typename Header>
void FillEntry(const Header& header, uint64_t size, uint64_t packed_size, Entry& entry) {
  entry.path.assign(header.FileName, strnlen(header.FileName, sizeof header.FileName));
  entry.folder = IsFolderEntry(header.FileAttr, entry.path);
  while (!entry.path.empty() && (entry.path.back() == kArchiveDelim || entry.path.back() == '/')) {
    entry.path.pop_back();
  }
  entry.size = size;
  entry.packed_size = packed_size;
  entry.attr = header.FileAttr;
  entry.time = header.FileTime;
}

uint64_t Combine(uint32_t high, uint32_t low) { return uint64_t{high} << 32 | low; }

}  // namespace

ArchiveSession::ArchiveSession(const Plugin& plugin, const std::string& archive, int32_t open_mode)
    : plugin_(plugin), archive_(archive) {
  std::string full_path = std::filesystem::absolute(archive).string();
  wcx::tOpenArchiveData data{};
  data.ArcName = full_path.data();
  data.OpenMode = open_mode;
  handle_ = plugin_.OpenArchive(&data);
  if (handle_ == nullptr) {
    if (data.OpenResult == 0) {
      throw HostError("cannot open archive " + Quoted(archive_) + " (the plug-in gave no handle and no result code)");
    }
    throw ResultError("cannot open archive " + Quoted(archive_), data.OpenResult);
  }
  plugin_.SetChangeVolProc(handle_, OnChangeVolume);
  plugin_.SetProcessDataProc(handle_, OnProcessData);
}

ArchiveSession::~ArchiveSession() {
  if (handle_ != nullptr) plugin_.CloseArchive(handle_);
}

bool ArchiveSession::NextEntry(Entry& entry) {
  int32_t result;
  if (plugin_.ReadHeaderEx != nullptr) {
    wcx::tHeaderDataEx header{};
    result = plugin_.ReadHeaderEx(handle_, &header);
    FillEntry(header, Combine(header.UnpSizeHigh, header.UnpSize),
              Combine(header.PackSizeHigh, header.PackSize), entry);
  } else {
    wcx::tHeaderData header{};
    result = plugin_.ReadHeader(handle_, &header);
    FillEntry(header, static_cast<uint32_t>(header.UnpSize), static_cast<uint32_t>(header.PackSize),
              entry);
  }
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
  return plugin_.ProcessFile(handle_, operation, nullptr, dest_name.data());
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
