// The access options of a compound file and the mode bits they stand for.
#pragma once

#include <cstdint>

namespace storage {

// A set of access options, one bit each.
enum TStgAccessOption : uint8_t {
  aoRead = 1,
  aoWrite = 2,
  aoCreate = 4,  // create the file; overrides every other option
  aoDenyRead = 8,
  aoDenyWrite = 16,
  aoTransacted = 32,
  // With aoCreate: 4096-byte sectors, for a file that will hold more than
  // the 2 GB that 512-byte sectors can address. No mode bit stands for it.
  aoLargeSectors = 64,
  // With aoCreate: an existing file is refused (STG_E_FILEALREADYEXISTS),
  // never replaced, for a file that another program may have made since
  // it was found missing.
  aoFailIfThere = 128,
};
using TStgAccessOptions = uint8_t;

// The STGM mode bits for a set of options.
uint32_t AccessToStgMode(TStgAccessOptions options);

// The mode children of a folder with these options are opened with: never
// created, always exclusive, with the folder's access and transaction bits.
uint32_t ChildStgMode(TStgAccessOptions options);

}  // namespace storage
