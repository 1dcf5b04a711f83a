#include <iostream>
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

}  // namespace

int RunCaps(const Plugin& plugin) {
  int32_t caps = plugin.Need(plugin.GetPackerCaps, "GetPackerCaps")();
  std::cout << "capabilities: " << caps << " (0x" << std::hex << caps << std::dec << ")";
  for (const CapsBit& caps_bit : kCapsBits) {
    if ((caps & caps_bit.bit) != 0) std::cout << ' ' << caps_bit.name;
  }
  std::cout << "\nexports:";
  for (const std::string& name : plugin.ExportedFunctions()) std::cout << ' ' << name;
  std::cout << '\n';
  return kExitOk;
}

}  // namespace wcxhost
