// The file lists PackFiles and DeleteFiles take: zero-terminated names one
// after the other, ended by an empty name.
#pragma once

#include <string>
#include <vector>

namespace wcxhost {

inline std::string SerializeFileList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list.append(name).push_back('\0');
  list.push_back('\0');
  return list;
}

}  // namespace wcxhost
