// A storage inside a compound file written out as a compound file of its
// own, through the structured-storage API, so that both builds write it the
// same way (the system's storage on Windows, the engine elsewhere).
#pragma once

#include <string>

#include "storage/struct_storage.h"

namespace storagewcx {

enum class CopyShape {
  kStorage,  // the storage as it is
  // An attached message: its property stream gets a top-level message's
  // header, and the named-property map of the message that holds it
  // (root's) comes along, so that mail programs read it alone.
  kMessage,
};

// Writes source to the file target, replacing it. With an empty target the
// copy goes to a temporary file that is gone once written: a test that
// reads everything and keeps nothing. 0, E_BAD_DATA when the source cannot
// be copied (damaged, or not a message), E_EWRITE when the copy cannot be
// written.
int32_t WriteStandaloneCopy(storage::TStructStorageFolder& source, CopyShape shape,
                            storage::TStructStorageFolder& root, const std::string& target);

// Whether a message storage's property stream takes a top-level header.
bool HasMessageProperties(storage::TStructStorageFolder& message);

}  // namespace storagewcx
