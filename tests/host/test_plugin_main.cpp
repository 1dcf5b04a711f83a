// The test plug-in: the real exports with the in-memory archive class
// registered in place of the storage one, plus three functions through which
// host-level tests define and inspect archives.
#include <cstring>

#include "memory_store.h"
#include "wcx/wcx_root.h"

namespace {

__attribute__((constructor)) void LoadPlugin() {
  wcx::InitializeArchiveLayer();
  wcx::RegisterArchiveClass(memstore::MemDir::Class());
}

__attribute__((destructor)) void UnloadPlugin() {
  wcx::FinalizeArchiveLayer();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void qorTest_Define(const char* arcName,
                                                                      const char* tree) {
  memstore::Define(arcName, tree);
}

extern "C" __attribute__((visibility("default"))) void qorTest_Describe(const char* arcName,
                                                                        char* buffer, int size) {
  std::strncpy(buffer, memstore::Describe(arcName).c_str(), static_cast<size_t>(size) - 1);
  buffer[size - 1] = '\0';
}

extern "C" __attribute__((visibility("default"))) int32_t qorTest_LiveItemCount() {
  return wcx::LiveItemCount;
}
