// A compound file's structures read from an open file with the engine's own
// reader (Windows), where the system's storage trusts what it reads: a chain
// or a directory tree that runs in a circle holds it forever.
#pragma once

#include <objbase.h>
#include <windows.h>

#include "cfb/structures.h"

namespace platform {

// S_OK with the structures read; S_FALSE for a file that is not a compound
// file; STG_E_DOCFILECORRUPT or STG_E_INVALIDHEADER for a damaged one; the
// read's error when the file could not be read.
HRESULT ReadFileStructures(HANDLE file, cfb::CheckedFile& checked);
// Whether ReadFileStructures refused the file for what it holds, rather
// than for what kept it from reading the file.
inline bool IsDamage(HRESULT hr) { return hr == STG_E_DOCFILECORRUPT || hr == STG_E_INVALIDHEADER; }

}  // namespace platform
