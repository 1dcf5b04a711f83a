// Load and unload of the plug-in library: the layers start in their order
// and stop in the reverse one.
#include "storage/task_memory.h"
#include "storagewcx/storage_entries.h"
#include "wcx/wcx_root.h"

namespace {

__attribute__((constructor)) void LoadPlugin() {
  wcx::InitializeArchiveLayer();
  storagewcx::RegisterStorageArchiveClass();
}

__attribute__((destructor)) void UnloadPlugin() {
  storage::ReleaseTaskAllocator();
  wcx::FinalizeArchiveLayer();
}

}  // namespace
