// Scaling of the archive tree: a folder of n children must be built, looked
// up and listed in time linear in n, and packing n files into one sub-folder
// must not reload that folder per file. Prints seconds per size and the
// ratio of the per-item times (near 1 is linear).
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "memory_store.h"
#include "temp_dir.h"
#include "tree_helpers.h"
#include "wcx/wcx_root.h"

namespace {

double Seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Builds a folder of n children, looks each one up, and lists them all.
double BuildAndList(int n) {
  std::string tree;
  for (int i = 0; i < n; ++i) tree += "F f" + std::to_string(i) + " 0\n";
  memstore::Define("big", tree);
  return Seconds([&] {
    auto root = memstore::MemDir::Class().CreateArchive("big", wcx::PK_OM_LIST, false);
    root->Open();
    for (int i = 0; i < n; ++i)
      if (root->IndexOfName("F" + std::to_string(i)) != i) std::abort();
    root->Close();
    if (testing_support::ListAll(*root).paths.size() != static_cast<size_t>(n)) std::abort();
  });
}

// Packs n files, listed one by one as sub/fN, as Double Commander sends a
// packed folder.
double PackIntoSubFolder(int n) {
  testing_support::TempDir src;
  std::string list;
  for (int i = 0; i < n; ++i) {
    std::string name = "sub/f" + std::to_string(i);
    src.Write(name, "x");
    list += name + '\0';
  }
  list += '\0';
  memstore::Archives().erase("pack");
  return Seconds([&] {
    if (wcx::WCXRoot()->DoPackFiles("pack", "", src.Slash(), list.c_str(), 0) != 0) std::abort();
  });
}

void Report(const char* what, int small, double smallTime, int large, double largeTime) {
  std::printf("%-34s n=%-7d %8.4f s   n=%-7d %8.4f s   time ratio %6.1f   per-item ratio %5.2f\n",
              what, small, smallTime, large, largeTime, largeTime / smallTime,
              (largeTime / large) / (smallTime / small));
}

}  // namespace

int main() {
  wcx::InitializeArchiveLayer();
  wcx::RegisterArchiveClass(memstore::MemDir::Class());
  Report("folder: build, look up, list", 1000, BuildAndList(1000), 100000, BuildAndList(100000));
  Report("pack sub/fN (goal: time ratio < 15)", 1000, PackIntoSubFolder(1000), 10000,
         PackIntoSubFolder(10000));
  wcx::SetWCXRoot(nullptr);
  return 0;
}
