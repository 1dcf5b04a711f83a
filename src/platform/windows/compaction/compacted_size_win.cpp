#include "platform/windows/compaction/compacted_size_win.h"

#include <vector>

#include "cfb/format.h"
#include "platform/com_ptr.h"
#include "platform/windows/compaction/storage_elements_win.h"

namespace platform::compaction {
namespace {

struct Usage {
  uint64_t entries = 1;  // the root
  uint64_t sectorBytes = 0;
  uint64_t miniBytes = 0;
};

uint64_t RoundUp(uint64_t bytes, uint64_t unit) { return cfb::DivCeil(bytes, unit) * unit; }

HRESULT AddUsage(IStorage* storage, uint64_t sectorSize, int depth, Usage& usage) {
  if (depth > kMaxDepth) return S_FALSE;
  std::vector<Element> elements;
  HRESULT hr = ListElements(storage, elements);
  if (FAILED(hr)) return hr;
  usage.entries += elements.size();
  for (const Element& element : elements) {
    if (element.type == STGTY_STREAM) {
      if (element.size < cfb::kMiniStreamCutoff)
        usage.miniBytes += RoundUp(element.size, cfb::kMiniSectorSize);
      else
        usage.sectorBytes += RoundUp(element.size, sectorSize);
    } else if (element.type == STGTY_STORAGE) {
      ComPtr<IStorage> child;
      hr = storage->OpenStorage(element.name.c_str(), nullptr, kReadChild, nullptr, 0,
                                child.Receive());
      if (FAILED(hr)) return hr;
      hr = AddUsage(child.Get(), sectorSize, depth + 1, usage);
      if (hr != S_OK) return hr;
    }
  }
  return S_OK;
}

uint64_t FileBytes(const Usage& usage, uint64_t sectorSize) {
  const uint64_t miniFat = RoundUp(usage.miniBytes / cfb::kMiniSectorSize * 4, sectorSize);
  const uint64_t directory = RoundUp(usage.entries * cfb::kDirEntrySize, sectorSize);
  const uint64_t dataSectors =
      (usage.sectorBytes + RoundUp(usage.miniBytes, sectorSize) + miniFat + directory) / sectorSize;
  // Each table sector lists itself too; past the header's 109, the table
  // sectors are listed in sectors of their own.
  const uint64_t perSector = sectorSize / 4;
  const uint64_t fatSectors = cfb::DivCeil(dataSectors, perSector - 1);
  const uint64_t difatSectors =
      fatSectors > cfb::kHeaderDifatCount
          ? cfb::DivCeil(fatSectors - cfb::kHeaderDifatCount, perSector - 1)
          : 0;
  return sectorSize * (1 + dataSectors + fatSectors + difatSectors);
}

}  // namespace

HRESULT EstimateCompactedSize(IStorage* storage, uint32_t sectorSize, uint64_t& bytes) {
  Usage usage;
  const HRESULT hr = AddUsage(storage, sectorSize, 0, usage);
  if (hr != S_OK) return hr;
  bytes = FileBytes(usage, sectorSize);
  return S_OK;
}

}  // namespace platform::compaction
