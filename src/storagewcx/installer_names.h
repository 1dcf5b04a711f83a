// Stream names of installer databases (.msi, .msm, .msp, .mst). Installer
// tools store them in a compact form: each character from U+3800 to U+483F
// carries one or two characters of the alphabet 0-9 A-Z a-z . _ (values 0
// to 63 in that order); U+3800 + a + (b << 6) carries the pair a, b, and
// U+4800 + a the single a. U+4840 as the first character marks a table,
// shown with a leading '!' as 7-Zip and the installer's own tools show it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ole.h"

namespace storagewcx {

// The stored form of a name, as installer tools write it: alphabet
// characters that follow each other go in pairs, a lone one in the single
// form, other characters as they are; a leading '!' makes it a table. A
// name starting with a control character (\005SummaryInformation and the
// other property sets) is stored as it is, as the tools store it.
std::u16string EncodeInstallerName(std::u16string_view name);

// The name a stored one stands for, only when encoding it gives exactly the
// stored name back: so each name shown stands for one element. nullopt
// otherwise.
std::optional<std::u16string> DecodeInstallerName(std::u16string_view stored);

// Whether a stored name is a table's: encoded, with the table mark first.
bool IsInstallerTableName(std::u16string_view stored);

// Whether a root storage's class is the installer's: a database (also a
// merge module), a patch or a transform.
bool IsInstallerClass(const CLSID& clsid);

}  // namespace storagewcx
