// Load and unload of the plug-in library: the layers start in their order
// and stop in the reverse one.
#include "wcx/wcx_root.h"

namespace {

__attribute__((constructor)) void LoadPlugin() { wcx::InitializeArchiveLayer(); }

__attribute__((destructor)) void UnloadPlugin() { wcx::FinalizeArchiveLayer(); }

}  // namespace
