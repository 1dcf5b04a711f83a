// A mail message's views: the message as text, each attachment under its
// file name, an attached message as a .msg of its own.
#pragma once

#include <string>
#include <vector>

#include "content/storage_reader.h"
#include "content/view_collector.h"

namespace content {

// `message` is the file's root, at `path` {}.
void AddMessageViews(StorageReader& message, const std::vector<ChildElement>& children,
                     ViewCollector& collector);

}  // namespace content
