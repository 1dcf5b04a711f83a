// Finding one child of a storage by name among those Children() gave.
#pragma once

#include <string_view>
#include <vector>

#include "content/storage_reader.h"

namespace content {

inline const ChildElement* FindChild(const std::vector<ChildElement>& children,
                                     std::u16string_view name, ElementKind kind) {
  for (const auto& child : children)
    if (child.kind == kind && child.name == name) return &child;
  return nullptr;
}

}  // namespace content
