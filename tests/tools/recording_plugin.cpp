// A WCX plug-in for testing hosts: it logs every call it receives, with its
// arguments, to the file named by RECORDING_WCX_LOG, and serves a text
// "archive" whose first line is "RECORDING-WCX" and whose other lines are
// entries: "<attr hex> <size> <unix time> <path>". A line "!result N" makes
// the header read that reaches it return N. Entries whose path contains
// "corrupt" fail PK_TEST and PK_EXTRACT with E_BAD_DATA. Every file
// processed, packed or deleted is reported to the process-data callback in
// four blocks; a 0 answer aborts with E_EABORTED and leaves the archive as it
// was. RECORDING_WCX_DELAY_MS slows every block down.
//
// Built three ways: complete, RECORDING_MINIMAL (only the functions every
// host needs, so no ReadHeaderEx) and RECORDING_BROKEN (no OpenArchive, no
// CloseArchive).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "wcx/wcx_api.h"

using namespace wcx;

namespace {

constexpr const char* kMagic = "RECORDING-WCX";

struct Entry {
  uint32_t attr = 0;
  uint64_t size = 0;
  int64_t time = 0;
  std::string path;
  int32_t result = 0;  // from "!result N"
};

struct Archive {
  std::vector<Entry> entries;
  size_t next = 0;
  tProcessDataProc process_data = nullptr;
};

tProcessDataProc global_process_data = nullptr;

void Log(const std::string& line) {
  if (const char* log = std::getenv("RECORDING_WCX_LOG")) std::ofstream(log, std::ios::app) << line << '\n';
}

std::string Show(const char* text) { return text == nullptr ? "null" : "\"" + std::string(text) + "\""; }

bool Load(const std::string& name, std::vector<Entry>& entries) {
  std::ifstream in(name);
  std::string line;
  if (!std::getline(in, line) || line != kMagic) return false;
  while (std::getline(in, line)) {
    Entry entry;
    std::istringstream fields(line);
    if (line.rfind("!result ", 0) == 0) {
      entry.result = std::stoi(line.substr(8));
    } else {
      fields >> std::hex >> entry.attr >> std::dec >> entry.size >> entry.time;
      std::getline(fields >> std::ws, entry.path);
    }
    entries.push_back(entry);
  }
  return true;
}

[[maybe_unused]] void Save(const std::string& name, const std::vector<Entry>& entries) {
  std::ofstream out(name, std::ios::trunc);
  out << kMagic << '\n';
  for (const Entry& e : entries) out << std::hex << e.attr << std::dec << ' ' << e.size << ' ' << e.time << ' ' << e.path << '\n';
}

// Reports `size` bytes in four blocks; false when the host asks to stop.
bool Report(tProcessDataProc proc, const std::string& name, uint64_t size) {
  const char* delay = std::getenv("RECORDING_WCX_DELAY_MS");
  for (int block = 0; block < 4; ++block) {
    if (delay != nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
    std::string buffer = name;
    auto part = static_cast<int32_t>(size / 4 + (block < static_cast<int>(size % 4) ? 1 : 0));
    if (proc != nullptr && proc(buffer.data(), part) == 0) return false;
  }
  return true;
}

std::string HandleName(HANDLE handle) { return handle == kGlobalHandle ? "-1" : "h"; }

template <typename Header>
void Fill(const Entry& entry, Header& header) {
  std::strncpy(header.FileName, entry.path.c_str(), sizeof header.FileName - 1);
  header.FileAttr = static_cast<int32_t>(entry.attr);
  header.FileTime = static_cast<int32_t>(entry.time);
}

}  // namespace

extern "C" {

#ifndef RECORDING_BROKEN
HANDLE OpenArchive(tOpenArchiveData* data) {
  Log("OpenArchive " + std::string(data->ArcName) + " mode=" + std::to_string(data->OpenMode));
  auto archive = std::make_unique<Archive>();
  if (access(data->ArcName, F_OK) != 0) {
    data->OpenResult = E_EOPEN;
    return nullptr;
  }
  if (!Load(data->ArcName, archive->entries)) {
    data->OpenResult = E_UNKNOWN_FORMAT;
    return nullptr;
  }
  return archive.release();
}

int32_t CloseArchive(HANDLE handle) {
  Log("CloseArchive");
  delete static_cast<Archive*>(handle);
  return 0;
}
#endif

int32_t ReadHeader(HANDLE handle, tHeaderData* header) {
  auto* archive = static_cast<Archive*>(handle);
  if (archive->next >= archive->entries.size()) {
    Log("ReadHeader -> end");
    return E_END_ARCHIVE;
  }
  const Entry& entry = archive->entries[archive->next++];
  Log("ReadHeader -> " + entry.path);
  Fill(entry, *header);
  header->UnpSize = static_cast<int32_t>(entry.size);
  header->PackSize = static_cast<int32_t>(entry.size / 2);
  return entry.result;
}

#ifndef RECORDING_MINIMAL
int32_t ReadHeaderEx(HANDLE handle, tHeaderDataEx* header) {
  auto* archive = static_cast<Archive*>(handle);
  if (archive->next >= archive->entries.size()) {
    Log("ReadHeaderEx -> end");
    return E_END_ARCHIVE;
  }
  const Entry& entry = archive->entries[archive->next++];
  Log("ReadHeaderEx -> " + entry.path);
  Fill(entry, *header);
  header->UnpSize = static_cast<uint32_t>(entry.size);
  header->UnpSizeHigh = static_cast<uint32_t>(entry.size >> 32);
  header->PackSize = static_cast<uint32_t>(entry.size / 2);
  header->PackSizeHigh = static_cast<uint32_t>(entry.size / 2 >> 32);
  return entry.result;
}
#endif

int32_t ProcessFile(HANDLE handle, int32_t operation, char* dest_path, char* dest_name) {
  Log("ProcessFile " + std::to_string(operation) + " " + Show(dest_path) + " " + Show(dest_name));
  auto* archive = static_cast<Archive*>(handle);
  if (operation == PK_SKIP) return 0;
  const Entry& entry = archive->entries[archive->next - 1];
  if (entry.path.find("corrupt") != std::string::npos) return E_BAD_DATA;
  std::string target = (dest_path != nullptr ? std::string(dest_path) + "/" : "") + (dest_name ? dest_name : "");
  if (operation == PK_EXTRACT) {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) return E_ECREATE;
    for (uint64_t i = 0; i < entry.size; ++i) out.put(entry.path[i % entry.path.size()]);
  }
  if (!Report(archive->process_data, entry.path, entry.size)) {
    if (operation == PK_EXTRACT) std::remove(target.c_str());
    return E_EABORTED;
  }
  return 0;
}

void SetChangeVolProc(HANDLE handle, tChangeVolProc) { Log("SetChangeVolProc " + HandleName(handle)); }

void SetProcessDataProc(HANDLE handle, tProcessDataProc proc) {
  Log("SetProcessDataProc " + HandleName(handle));
  if (handle == kGlobalHandle) {
    global_process_data = proc;
  } else {
    static_cast<Archive*>(handle)->process_data = proc;
  }
}

#ifndef RECORDING_MINIMAL
int32_t GetPackerCaps() { return PK_CAPS_NEW | PK_CAPS_MODIFY | PK_CAPS_MULTIPLE | PK_CAPS_DELETE | PK_CAPS_BY_CONTENT; }

int32_t CanYouHandleThisFile(char* file_name) {
  Log("CanYouHandleThisFile " + std::string(file_name));
  std::vector<Entry> entries;
  return Load(file_name, entries) ? 1 : 0;
}

int32_t PackFiles(char* packed_file, char* sub_path, char* src_path, char* add_list, int32_t flags) {
  Log("PackFiles " + std::string(packed_file) + " sub=" + Show(sub_path) + " src=" + Show(src_path) +
      " flags=" + std::to_string(flags));
  std::vector<Entry> entries;
  if (access(packed_file, F_OK) == 0 && !Load(packed_file, entries)) return E_UNKNOWN_FORMAT;
  std::vector<std::string> moved;
  for (const char* name = add_list; *name != '\0'; name += std::strlen(name) + 1) {
    Log("  add " + std::string(name));
    Entry entry;
    entry.path = (sub_path != nullptr ? std::string(sub_path) + "/" : "") + name;
    bool folder = entry.path.back() == '/';
    if (folder) entry.path.pop_back();
    entry.attr = folder ? 0x41ED : 0x81A4;
    struct stat info {};
    std::string source = std::string(src_path) + name;
    if (!folder) {
      if (stat(source.c_str(), &info) != 0) return E_EOPEN;
      entry.size = static_cast<uint64_t>(info.st_size);
      moved.push_back(source);
    }
    if (!Report(global_process_data, entry.path, entry.size)) return E_EABORTED;
    std::erase_if(entries, [&](const Entry& e) { return e.path == entry.path; });
    entries.push_back(entry);
  }
  Save(packed_file, entries);
  if ((flags & PK_PACK_MOVE_FILES) != 0) {
    for (const std::string& source : moved) std::remove(source.c_str());
  }
  return 0;
}

int32_t DeleteFiles(char* packed_file, char* delete_list) {
  Log("DeleteFiles " + std::string(packed_file));
  std::vector<Entry> entries;
  if (!Load(packed_file, entries)) return E_EOPEN;
  for (const char* name = delete_list; *name != '\0'; name += std::strlen(name) + 1) {
    Log("  delete " + std::string(name));
    std::string path = name;
    bool folder = path.ends_with("/*.*");
    if (folder) path.resize(path.size() - 4);
    size_t before = entries.size();
    std::erase_if(entries, [&](const Entry& e) {
      return e.path == path || (folder && e.path.rfind(path + "/", 0) == 0);
    });
    if (entries.size() == before) return E_NO_FILES;
    if (!Report(global_process_data, path, 0)) return E_EABORTED;
  }
  Save(packed_file, entries);
  return 0;
}
#endif

}  // extern "C"
