// A compound file's tree copied element by element into a fresh storage, and
// the check that the copy holds exactly what the original does (Windows).
#pragma once

#include <objbase.h>

namespace platform::compaction {

// Copies every element below `from` into the empty `to`, with the class ids,
// state bits and times of storages, the root's included but for its class
// id, which is the caller's to give last. S_FALSE when an
// element cannot be made as it is (a name that differs only in case from a
// sibling's, a name the system refuses, an element that is neither storage
// nor stream).
HRESULT CopyStorageTree(IStorage* from, IStorage* to);

// S_OK when `copy` holds the same elements as `original` under the same
// names, with the same stream sizes, and storages with the same class ids,
// state bits and times; S_FALSE when anything differs. The root's class id
// and times are left out: the latter, as some systems report the file's own
// there.
HRESULT CompareStorageTrees(IStorage* original, IStorage* copy);

}  // namespace platform::compaction
