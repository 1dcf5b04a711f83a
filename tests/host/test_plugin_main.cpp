// The test plug-in: the real exports with the in-memory archive class
// registered in place of the storage one, plus three functions through which
// host-level tests define and inspect archives.
#include <cstring>

#include "memory_store.h"
#include "wcx/wcx_root.h"

#ifdef _WIN32
#define TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

__attribute__((constructor)) void LoadPlugin() {
  wcx::InitializeArchiveLayer();
  wcx::RegisterArchiveClass(memstore::MemDir::Class());
}

__attribute__((destructor)) void UnloadPlugin() { wcx::FinalizeArchiveLayer(); }

}  // namespace

TEST_EXPORT void qorTest_Define(const char* arcName, const char* tree) {
  memstore::Define(arcName, tree);
}

TEST_EXPORT void qorTest_Describe(const char* arcName, char* buffer, int size) {
  std::strncpy(buffer, memstore::Describe(arcName).c_str(), static_cast<size_t>(size) - 1);
  buffer[size - 1] = '\0';
}

TEST_EXPORT int32_t qorTest_LiveItemCount() {
  return wcx::LiveItemCount;
}
