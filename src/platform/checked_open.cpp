#include "platform/checked_open.h"

#include "cfb/names.h"

namespace platform {

std::basic_string<OLECHAR> MatchKey(std::basic_string_view<OLECHAR> name) {
  std::basic_string<OLECHAR> key(name);
  for (OLECHAR& unit : key)
    unit = static_cast<OLECHAR>(cfb::SimpleUpperCase(static_cast<char16_t>(unit)));
  return key;
}

}  // namespace platform
