// The host's file lists (PackFiles' AddList, DeleteFiles' DeleteList) and
// their clean-up before packing or deleting. "Backslash" in the names of
// these operations is the host's path delimiter.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace wcx {

using TStringList = std::vector<std::string>;

// A list's zero-terminated names as they stand in the host's memory, in
// UTF-8 or in UTF-16, up to an empty one; none when both are null.
struct ListedNames {
  ListedNames(std::nullptr_t) {}
  ListedNames(const char* list) : utf8(list) {}
  ListedNames(const char16_t* list) : wide(list) {}
  const char* utf8 = nullptr;
  const char16_t* wide = nullptr;
};

// Appends the zero-terminated names of a host list, up to the first empty
// one, unchanged. A null list adds nothing.
void ParseFileList(const char* list, TStringList& names);

// Keeps the first of every group of names that are equal as file names, in
// their order.
void RemoveDuplicateNames(TStringList& names);

// Turns "dir/*.*" into "dir", removes duplicates, and drops every entry that
// lies inside the folder of another entry: deleting the folder deletes it.
void PrepareDeleteList(TStringList& names);

// The path with one delimiter at its end; an empty path gives the delimiter.
std::string WithTrailingBackslash(const std::string& path);

}  // namespace wcx
