// A mail message as a text file: its subject, sender, recipients and date,
// then its plain-text body.
#pragma once

#include <string>
#include <vector>

#include "content/message_properties.h"
#include "content/storage_reader.h"
#include "content/text_decoding.h"
#include "content/view_collector.h"

namespace content {

// The code page of the message's 8-bit strings, from its fixed properties.
TextCodePage MessageCodePage(const FixedProperties& properties, platform::CodePage ansi);

// "<subject>.txt", or "message.txt" for a message without a subject.
View MessageTextView(StorageReader& message, const std::vector<ChildElement>& children,
                     const FixedProperties& properties, const TextCodePage& codePage,
                     ViewCollector& collector);

}  // namespace content
