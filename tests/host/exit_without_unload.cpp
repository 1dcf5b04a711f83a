// A host that never unloads the plug-in: it loads it, asks for its
// capabilities, optionally opens an archive and reads its first header
// without closing it, and ends its process, as many programs do.
//   exit_without_unload PLUGIN [ARCHIVE]
#include <cstdio>

#include "plugin_loader.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  // Not freed: the process ends with the library still loaded.
  auto* plugin = new testing_support::Plugin(argv[1]);
  std::printf("caps %d\n", plugin->GetPackerCaps());
  if (argc > 2) {
    wcx::HANDLE handle = plugin->Open(argv[2], wcx::PK_OM_LIST);
    wcx::tHeaderDataEx header{};
    std::printf("first header %d\n", plugin->ReadHeaderEx(handle, &header));
  }
  std::fflush(stdout);
  return 0;
}
