#include "storagewcx/name_style.h"

#include "storagewcx/element_name.h"
#include "storagewcx/installer_names.h"
#include "wcx/names.h"

namespace storagewcx {
namespace {

constexpr char16_t kTablePrefix = u'!';

}  // namespace

void InstallerNameGuess::See(const STATSTG& element) {
  // Names added keep the guess: a database stores them encoded, and
  // encoding leaves an encoded name as it is; a plain file would need one
  // added plainly that happens to read as an encoded table.
  if (ruledOut_ || element.type != STGTY_STREAM || !element.pwcsName) return;
  const std::u16string_view name(reinterpret_cast<const char16_t*>(element.pwcsName));
  ruledOut_ = EncodeInstallerName(name) != name;
  anyTable_ = anyTable_ || IsInstallerTableName(name);
}

std::string ShownElementName(NameStyle style, const char16_t* stored) {
  if (style == NameStyle::kPlain || stored == nullptr) return EscapeElementName(stored);
  if (const auto decoded = DecodeInstallerName(stored)) return EscapeElementName(decoded->c_str());
  std::string shown = EscapeElementName(stored);
  if (stored[0] == kTablePrefix) {
    std::string escaped;
    wcx::AppendEscape(escaped, kTablePrefix);
    shown.replace(0, 1, escaped);
  }
  return shown;
}

std::u16string StoredElementName(NameStyle style, std::string_view host) {
  std::u16string name = UnescapeElementName(host);
  if (style == NameStyle::kPlain || name.empty()) return name;
  if (name.front() == kTablePrefix && host.front() != '!') return name;
  return EncodeInstallerName(name);
}

}  // namespace storagewcx
