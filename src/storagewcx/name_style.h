// How an archive's element names map to the names the host sees: escaped
// as they are, or, in an installer database, decoded from the installer's
// compact form first (installer_names.h).
#pragma once

#include <string>
#include <string_view>

#include "storage/struct_storage.h"

namespace storagewcx {

enum class NameStyle {
  kPlain,
  kInstaller,
};

// An archive is an installer database when its root's class is the
// installer's (IsInstallerClass), or else (files of other tools that wrote
// no class) when every stream at the top level is named as the installer's
// tools store names, so that encoding leaves it as it is (also property
// sets, \005..., and names without a letter or digit), and at least one is a
// table. The guess sees the top-level elements one by one as they are
// listed, so that a large archive needs no copy of their list.
class InstallerNameGuess {
 public:
  void See(const STATSTG& element);
  bool Holds() const { return !ruledOut_ && anyTable_; }

 private:
  bool ruledOut_ = false;
  bool anyTable_ = false;
};

// The name the host sees for a stored element name; a null name gives the
// empty string. In an installer database a name that decodes shows
// decoded; one that does not shows as stored, with a leading '!' escaped
// (#0021) so that it never reads as a table.
std::string ShownElementName(NameStyle style, const char16_t* stored);

// The element name that a host's name stands for: unescaped, and in an
// installer database encoded, except that a leading '!' sent as an escape
// is kept as a plain '!'. Empty for a name that cannot be used.
std::u16string StoredElementName(NameStyle style, std::string_view host);

}  // namespace storagewcx
