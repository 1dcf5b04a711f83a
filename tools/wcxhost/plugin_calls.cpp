// The plug-in's functions called with the host's strings, in the interface
// chosen: the one place where wcxhost's names and paths become the
// plug-in's, 8-bit as they are or UTF-16 (host_system.h converts).
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "file_list.h"
#include "host_conventions.h"
#include "plugin.h"
#include "progress.h"

namespace wcxhost {
namespace {

wcx::WCHAR* W(std::u16string& text) { return reinterpret_cast<wcx::WCHAR*>(text.data()); }

std::u16string WideList(const std::vector<std::string>& names) {
  std::u16string list;
  for (const std::string& name : names) list.append(sys::ToWide(name)).push_back(u'\0');
  list.push_back(u'\0');
  return list;
}

uint64_t Combine(uint32_t high, uint32_t low) { return uint64_t{high} << 32 | low; }

// The numbers of a header; the name field may lack its terminating zero.
template <typename Record>
void FillNumbers(const Record& record, uint64_t size, uint64_t packed_size, Header& header) {
  header.size = size;
  header.packed_size = packed_size;
  header.attr = record.FileAttr;
  header.time = record.FileTime;
}

template <typename Char, size_t N>
std::basic_string_view<Char> FieldText(const Char (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length] != 0) ++length;
  return {field, length};
}

// A header record that reads to the host as a fresh zeroed one. Records are
// large (over 5 KB in the Unicode form) and a listing reads one per entry,
// so each form is zeroed once and then only what the host reads is cleared
// again: the numbers, and the name as far as the last header filled it.
template <typename Record>
class ReusedRecord {
 public:
  Record& Cleared() {
    std::fill_n(record_.FileName, name_length_, 0);
    record_.PackSize = record_.UnpSize = 0;
    if constexpr (requires { record_.PackSizeHigh; }) record_.PackSizeHigh = record_.UnpSizeHigh = 0;
    record_.FileAttr = record_.FileTime = 0;
    return record_;
  }
  // The name the call just made filled in.
  auto Name() {
    const auto name = FieldText(record_.FileName);
    name_length_ = name.size();
    return name;
  }

 private:
  Record record_{};
  size_t name_length_ = 0;
};

template <typename Record>
ReusedRecord<Record>& RecordOf() {
  static ReusedRecord<Record> record;
  return record;
}

}  // namespace

wcx::HANDLE Plugin::Open(const std::string& archive, int32_t mode, int32_t& open_result) const {
  wcx::HANDLE handle;
  if (wide_) {
    std::u16string name = sys::ToWide(archive);
    wcx::tOpenArchiveDataW data{};
    data.ArcName = W(name);
    data.OpenMode = mode;
    handle = OpenArchiveW(&data);
    open_result = data.OpenResult;
  } else {
    std::string name = archive;
    wcx::tOpenArchiveData data{};
    data.ArcName = name.data();
    data.OpenMode = mode;
    handle = OpenArchive(&data);
    open_result = data.OpenResult;
  }
  return handle;
}

int32_t Plugin::ReadNextHeader(wcx::HANDLE archive, Header& header) const {
  int32_t result;
  if (wide_) {
    ReusedRecord<wcx::tHeaderDataExW>& reused = RecordOf<wcx::tHeaderDataExW>();
    wcx::tHeaderDataExW& record = reused.Cleared();
    result = ReadHeaderExW(archive, &record);
    const auto name = reused.Name();
    header.name = sys::FromWide(std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), name.size()));
    FillNumbers(record, Combine(record.UnpSizeHigh, record.UnpSize), Combine(record.PackSizeHigh, record.PackSize),
                header);
  } else if (ReadHeaderEx != nullptr) {
    ReusedRecord<wcx::tHeaderDataEx>& reused = RecordOf<wcx::tHeaderDataEx>();
    wcx::tHeaderDataEx& record = reused.Cleared();
    result = ReadHeaderEx(archive, &record);
    header.name = reused.Name();
    FillNumbers(record, Combine(record.UnpSizeHigh, record.UnpSize), Combine(record.PackSizeHigh, record.PackSize),
                header);
  } else {
    ReusedRecord<wcx::tHeaderData>& reused = RecordOf<wcx::tHeaderData>();
    wcx::tHeaderData& record = reused.Cleared();
    result = ReadHeader(archive, &record);
    header.name = reused.Name();
    FillNumbers(record, static_cast<uint32_t>(record.UnpSize), static_cast<uint32_t>(record.PackSize), header);
  }
  return result;
}

int32_t Plugin::Process(wcx::HANDLE archive, int32_t operation, const std::string& dest_name) const {
  if (wide_) {
    std::u16string name = sys::ToWide(dest_name);
    return ProcessFileW(archive, operation, nullptr, W(name));
  }
  std::string name = dest_name;
  return ProcessFile(archive, operation, nullptr, name.data());
}

void Plugin::SetCallbacks(wcx::HANDLE archive) const {
  // A host of the W functions sets their callbacks where the plug-in has them.
  if (wide_ && SetChangeVolProcW != nullptr && SetProcessDataProcW != nullptr) {
    SetChangeVolProcW(archive, OnChangeVolumeW);
    SetProcessDataProcW(archive, OnProcessDataW);
  } else {
    SetChangeVolProc(archive, OnChangeVolume);
    SetProcessDataProc(archive, OnProcessData);
  }
}

bool Plugin::CanHandle(const std::string& file) const {
  if (wide_) {
    std::u16string name = sys::ToWide(file);
    return Need(CanYouHandleThisFileW, "CanYouHandleThisFileW")(W(name)) != 0;
  }
  std::string name = file;
  return Need(CanYouHandleThisFile, "CanYouHandleThisFile")(name.data()) != 0;
}

void Plugin::CheckPacking() const {
  if (wide_)
    Need(PackFilesW, "PackFilesW");
  else
    Need(PackFiles, "PackFiles");
}

void Plugin::SetDefaultParams(const std::string& ini_file) const {
  if (PackSetDefaultParams == nullptr) return;
  wcx::PackDefaultParamStruct params{};
  params.size = sizeof params;
  params.PluginInterfaceVersionLow = 10;  // interface 2.10, as Total Commander reports it
  params.PluginInterfaceVersionHi = 2;
  ini_file.copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
  PackSetDefaultParams(&params);
}

void Plugin::CheckDeleting() const {
  if (wide_)
    Need(DeleteFilesW, "DeleteFilesW");
  else
    Need(DeleteFiles, "DeleteFiles");
}

int32_t Plugin::Pack(const std::string& archive, const std::string& sub_path, const std::string& src_path,
                     std::string list, int32_t flags) const {
  CheckPacking();
  // SubPath is null for the archive's root.
  if (wide_) {
    std::u16string packed = sys::ToWide(archive), sub = sys::ToWide(sub_path), src = sys::ToWide(src_path),
                   names = sys::ToWide(list);
    std::string().swap(list);
    return PackFilesW(W(packed), sub_path.empty() ? nullptr : W(sub), W(src), W(names), flags);
  }
  std::string packed = archive, sub = sub_path, src = src_path;
  return PackFiles(packed.data(), sub_path.empty() ? nullptr : sub.data(), src.data(), list.data(), flags);
}

int32_t Plugin::Delete(const std::string& archive, const std::vector<std::string>& names) const {
  CheckDeleting();
  if (wide_) {
    std::u16string packed = sys::ToWide(archive), list = WideList(names);
    return DeleteFilesW(W(packed), W(list));
  }
  std::string packed = archive, list = SerializeFileList(names);
  return DeleteFiles(packed.data(), list.data());
}

}  // namespace wcxhost
