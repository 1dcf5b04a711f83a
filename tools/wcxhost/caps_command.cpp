#include <iostream>
#include <iterator>
#include <string_view>

#include "commands.h"

namespace wcxhost {
namespace {

struct CapsBit {
  int32_t bit;
  std::string_view name;
};

constexpr CapsBit kCapsBits[] = {
    {wcx::PK_CAPS_NEW, "PK_CAPS_NEW"},
    {wcx::PK_CAPS_MODIFY, "PK_CAPS_MODIFY"},
    {wcx::PK_CAPS_MULTIPLE, "PK_CAPS_MULTIPLE"},
    {wcx::PK_CAPS_DELETE, "PK_CAPS_DELETE"},
    {wcx::PK_CAPS_OPTIONS, "PK_CAPS_OPTIONS"},
    {wcx::PK_CAPS_MEMPACK, "PK_CAPS_MEMPACK"},
    {wcx::PK_CAPS_BY_CONTENT, "PK_CAPS_BY_CONTENT"},
    {wcx::PK_CAPS_SEARCHTEXT, "PK_CAPS_SEARCHTEXT"},
    {wcx::PK_CAPS_HIDE, "PK_CAPS_HIDE"},
    {wcx::PK_CAPS_ENCRYPT, "PK_CAPS_ENCRYPT"},
};

constexpr CapsBit kBackgroundBits[] = {
    {wcx::BACKGROUND_UNPACK, "BACKGROUND_UNPACK"},
    {wcx::BACKGROUND_PACK, "BACKGROUND_PACK"},
    {wcx::BACKGROUND_MEMPACK, "BACKGROUND_MEMPACK"},
};

void PrintBits(std::string_view what, int32_t value, const CapsBit* bits, size_t count) {
  std::cout << what << ": " << value << " (0x" << std::hex << value << std::dec << ")";
  for (size_t i = 0; i < count; ++i)
    if ((value & bits[i].bit) != 0) std::cout << ' ' << bits[i].name;
  std::cout << '\n';
}

}  // namespace

int RunCaps(const Plugin& plugin) {
  PrintBits("capabilities", plugin.Need(plugin.GetPackerCaps, "GetPackerCaps")(), kCapsBits,
            std::size(kCapsBits));
  std::cout << "exports:";
  for (const std::string& name : plugin.ExportedFunctions()) std::cout << ' ' << name;
  std::cout << '\n';
  // Without the export a host runs one operation at a time.
  if (plugin.GetBackgroundFlags)
    PrintBits("background", plugin.GetBackgroundFlags(), kBackgroundBits,
              std::size(kBackgroundBits));
  return kExitOk;
}

}  // namespace wcxhost
