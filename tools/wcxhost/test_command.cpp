#include <iostream>

#include "catalog.h"
#include "commands.h"
#include "progress.h"
#include "wcx_results.h"

namespace wcxhost {

int RunTest(const Plugin& plugin, const std::string& archive) {
  RequireArchiveFile(archive);
  uint64_t total_bytes = 0;
  for (const Entry& entry : ReadCatalog(plugin, archive))
    total_bytes += entry.folder ? 0 : entry.size;

  ProgressScope progress(total_bytes);
  ArchiveSession session(plugin, archive, wcx::PK_OM_EXTRACT);
  int tested = 0;
  int failed = 0;
  Entry entry;
  while (session.NextEntry(entry)) {
    if (CancelRequested())
      throw HostError("testing archive " + Quoted(archive) + " cancelled", kExitCancelled);
    if (entry.folder) {
      // A plug-in reports a folder it cannot read when it is skipped.
      if (int32_t result = session.Process(wcx::PK_SKIP); result != 0) {
        ++tested;
        ++failed;
        PrintMessage("test failed for folder " + Quoted(entry.path) + " in archive " +
                     Quoted(archive) + " (" + DescribeResult(result) + ")");
      }
      continue;
    }
    ++tested;
    int32_t result = session.Process(wcx::PK_TEST);
    if (result == wcx::E_EABORTED)
      throw ResultError("testing archive " + Quoted(archive) + " cancelled", result);
    if (result != 0) {
      ++failed;
      PrintMessage("test failed for " + Quoted(entry.path) + " in archive " + Quoted(archive) +
                   " (" + DescribeResult(result) + ")");
    }
  }
  session.Close();
  if (failed > 0) {
    throw HostError(std::to_string(failed) + " of " + std::to_string(tested) +
                    " entries in archive " + Quoted(archive) + " failed the test");
  }
  std::cout << "tested " << tested << " files in archive " << Quoted(archive) << ": all OK\n";
  return kExitOk;
}

}  // namespace wcxhost
