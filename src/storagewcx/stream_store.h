// Storing a disk file's content as a stream of a storage, so that the stream
// bears exactly the name it is given and a failed or cancelled store never
// costs the stream of that name it was to replace.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/stream.h"
#include "storage/struct_storage.h"
#include "storagewcx/copy_loop.h"

namespace storagewcx {

// Copies source into the stream name of folder. A new name is created in
// place; an existing stream is replaced only once every byte is in. 0,
// E_EABORTED or E_EWRITE (name taken by a storage, or the transfer failed);
// a short read or write of source raises. Whatever the result, the folder
// holds either the old stream or the complete new one under name, apart
// from one case: when the old stream is gone but the new content cannot
// take its name, the content stays under a temporary name rather than being
// lost too.
int32_t StoreStream(storage::TStructStorageFolder& folder, const std::u16string& name,
                    rtl::TStream& source, const ProgressReport& report);

}  // namespace storagewcx
