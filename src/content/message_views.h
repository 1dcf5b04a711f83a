// A mail message's views: the message as text, each attachment under its
// file name, an attached message as a .msg of its own.
#pragma once

#include <string>
#include <vector>

#include "content/storage_reader.h"
#include "content/view_collector.h"

namespace content {

// Whether the storage's children are those of a mail message.
bool IsMessage(const std::vector<ChildElement>& children);

// `message` is the file's root, at `path` {}.
void AddMessageViews(StorageReader& message, const std::vector<ChildElement>& children,
                     ViewCollector& collector);

}  // namespace content
