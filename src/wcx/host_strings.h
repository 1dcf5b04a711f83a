// The edge between the host's strings and the plug-in's, one place each way.
// Every name and path inside the plug-in is UTF-8; the exports convert here.
//
// The 8-bit functions speak the host's code page. What comes in is decoded
// exactly: a byte that does not decode survives as the lone surrogate that
// stands for it, and goes back to the system as that byte. In what goes out,
// each character that the code page cannot hold exactly (or whose bytes
// would read as a control character or a character file names cannot hold)
// is written as #XXXX escapes of its UTF-16 units, which come back as the
// same name. The W functions speak UTF-16 and need no escapes.
#pragma once

#include <string>
#include <string_view>

#include "wcx/entry_header.h"
#include "wcx/file_lists.h"
#include "wcx/wcx_api.h"

namespace wcx {

// A null string is the empty one.
std::string FromHost(const char* text);
std::string FromHost(const WCHAR* text);
// A host's file list (zero-terminated names up to an empty one) as the
// same list of UTF-8 names; a null list is an empty one.
std::string ListFromHost(const char* list);
std::string ListFromHost(const WCHAR* list);
// PackFiles' list as adding reads it: a wide one in place, each name turned
// into UTF-8 only as it is read; an 8-bit one converted into holder, which
// must outlive the result.
ListedNames PackListFromHost(const char* list, std::string& holder);
ListedNames PackListFromHost(const WCHAR* list, std::string& holder);

std::string ToHostAnsi(std::string_view text);
std::u16string ToHostWide(std::string_view text);

// The header record as the host reads it, the path cut to its field: the
// 8-bit one at 1023 bytes, the UTF-16 one at 1023 units and never inside a
// surrogate pair.
void FillHostHeader(const EntryHeader& entry, tHeaderDataEx& header);
void FillHostHeader(const EntryHeader& entry, tHeaderDataExW& header);

}  // namespace wcx
