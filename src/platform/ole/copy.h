// Copying elements of a compound file into any IStorage: streams replace
// streams of the same name, storages merge into storages of the same name.
#pragma once

#include <string_view>

#include "cfb/compound_file.h"
#include "platform/ole.h"

namespace platform::ole {

struct CopyExclusions {
  bool streams = false;
  bool storages = false;
  SNB names = nullptr;  // children of the top storage left out
};

HRESULT CopyElement(cfb::CompoundFile& file, uint32_t id, IStorage& dest, const OLECHAR* new_name);
HRESULT CopyChildren(cfb::CompoundFile& file, uint32_t storage, IStorage& dest,
                     const CopyExclusions& exclusions);

}  // namespace platform::ole
