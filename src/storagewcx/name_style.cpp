#include "storagewcx/name_style.h"

#include "storagewcx/element_name.h"
#include "storagewcx/installer_names.h"
#include "wcx/names.h"

namespace storagewcx {
namespace {

constexpr char16_t kTablePrefix = u'!';

bool IsPropertySetName(std::u16string_view name) { return !name.empty() && name.front() == 5; }

}  // namespace

NameStyle NameStyleOf(const CLSID& rootClass, const std::vector<storage::StatCopy>& topLevel) {
  if (IsInstallerClass(rootClass)) return NameStyle::kInstaller;
  bool anyEncoded = false;
  for (const storage::StatCopy& stat : topLevel) {
    if (stat->type != STGTY_STREAM || !stat->pwcsName) continue;
    const std::u16string_view name(reinterpret_cast<const char16_t*>(stat->pwcsName));
    if (IsPropertySetName(name)) continue;
    if (!IsEncodedInstallerName(name)) return NameStyle::kPlain;
    anyEncoded = true;
  }
  return anyEncoded ? NameStyle::kInstaller : NameStyle::kPlain;
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
