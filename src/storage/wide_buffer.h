// Zero-terminated UTF-16 names for the structured-storage API, converted
// from the plug-in's UTF-8 file names.
#pragma once

#include <memory>
#include <string>

#include "platform/ole.h"

namespace storage {

void FreeWideBuffer(OLECHAR* p);

struct WideBufferDeleter {
  void operator()(OLECHAR* p) const { FreeWideBuffer(p); }
};
using WideBuffer = std::unique_ptr<OLECHAR[], WideBufferDeleter>;

// The name as a new zero-terminated UTF-16 buffer; null for an empty name.
WideBuffer StringToWideBuffer(const std::string& s);

}  // namespace storage
