#include <windows.h>

#include "platform/checked_open.h"
#include "platform/windows/compaction/compaction_files_win.h"
#include "platform/windows/file_structures_win.h"
#include "platform/windows/open_waiting_win.h"
#include "platform/ole/result.h"

namespace platform {
namespace {

ElementPath PathOf(const cfb::Directory& directory, uint32_t id) {
  ElementPath path;
  for (; id != cfb::kRootId && id != cfb::kNoStream; id = directory.parent(id)) {
    const std::u16string_view name = directory.entry(id).name();
    path.insert(path.begin(), MatchKey(std::basic_string<OLECHAR>(name.begin(), name.end())));
  }
  return path;
}

HRESULT OpenCheckedOnce(const OLECHAR* name, DWORD mode, IStorage** storage,
                        DamagedStreams& damaged) {
  damaged.clear();
  *storage = nullptr;
  // Nobody writes while it is read, so that a file amid another program's
  // change is not taken for a damaged one. Whatever keeps the file from
  // being read so (a writer holding it, no such file), the system's open
  // reports.
  const HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    cfb::CheckedFile checked;
    const HRESULT hr = ReadFileStructures(file, checked);
    CloseHandle(file);
    if (IsDamage(hr)) return hr;
    if (hr == S_OK) {
      const HRESULT listed = ole::Guarded([&] {
        for (uint32_t id : checked.structures.damaged)
          damaged.insert(PathOf(checked.directory, id));
        return S_OK;
      });
      if (FAILED(listed)) return listed;
    }
  }
  return StgOpenStorage(name, nullptr, mode, nullptr, 0, storage);
}

}  // namespace

HRESULT OpenCheckedStorage(const OLECHAR* name, DWORD mode, const QOR_KEEP_WAITING& keepWaiting,
                           IStorage** storage, DamagedStreams& damaged) {
  compaction::RestoreInterruptedReplace(name);
  // Checked again after each wait: the holder may have changed the file.
  return RetryWhileHeld(keepWaiting,
                        [&] { return OpenCheckedOnce(name, mode, storage, damaged); });
}

}  // namespace platform
