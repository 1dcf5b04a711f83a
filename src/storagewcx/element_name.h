// Element names (UTF-16) as the plug-in shows them: UTF-8 names in which
// control characters, the characters that file names cannot hold, '%', '#'
// and lone surrogates are written as "#" and four upper-case hex digits of
// the UTF-16 unit. No code page takes part: the 8-bit functions escape what
// their code page cannot hold where they hand names to the host.
#pragma once

#include <string>
#include <string_view>

namespace storagewcx {

// A null name gives the empty string, an empty one (damaged files) "#".
// Names made only of dots, and on Windows a trailing dot or space and
// device names, are escaped too, so that no name climbs out of a folder or
// changes on disk. Reads nothing past the name's terminating zero.
std::string EscapeElementName(const char16_t* name);

// Empty for an empty name and for "#", the escape of the empty name. A '#'
// that does not start a full four-digit escape stands for itself. "#0000"
// gives a zero unit.
std::u16string UnescapeElementName(std::string_view name);
// Whether a name unescapes to an element name that escapes back to it
// unchanged because there is nothing to escape: ASCII without a character
// to escape or a reserved part, as most names are. Such names need no
// round trip through UTF-16 to be compared with what a listing shows.
bool EscapesToItself(std::string_view name);

}  // namespace storagewcx
