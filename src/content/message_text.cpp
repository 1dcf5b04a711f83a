#include "content/message_text.h"

#include <string_view>

#include "content/file_time.h"
#include "content/message_ids.h"
#include "content/message_strings.h"

namespace content {
namespace {

namespace id = message_id;

// Header values and names are short; a longer one is cut there.
constexpr size_t kMaxHeaderValue = 4096;
// Recipients listed; a longer list is cut there.
constexpr size_t kMaxListedRecipients = 1000;
constexpr std::u16string_view kRecipientPrefix = u"__recip_version1.0_#";

enum RecipientType : uint32_t { kTo = 1, kCc = 2 };

std::string NameAndAddress(std::optional<std::string> name, std::optional<std::string> address) {
  if (name && address && *name != *address) return *name + " <" + *address + ">";
  return name ? *name : address.value_or("");
}

struct RecipientLists {
  std::string to, cc;
};

RecipientLists ListRecipients(StorageReader& message, const std::vector<ChildElement>& children,
                              const TextCodePage& codePage, ViewCollector& collector) {
  RecipientLists lists;
  size_t listed = 0;
  for (const auto& child : children) {
    if (child.kind != ElementKind::kStorage || !child.name.starts_with(kRecipientPrefix)) continue;
    if (listed == kMaxListedRecipients || !collector.MayOpenStorage()) break;
    const auto recipient = message.OpenStorage(child.name);
    if (!recipient) continue;
    const FixedProperties properties =
        ReadFixedProperties(*recipient, PropertyStreamOwner::kAttachmentOrRecipient);
    const auto type = properties.Find(id::kRecipientType, kPropLong).value_or(kTo);
    std::string* list = type == kTo ? &lists.to : type == kCc ? &lists.cc : nullptr;
    if (!list) continue;
    const std::string entry =
        NameAndAddress(ReadStringProperty(*recipient, id::kDisplayName, codePage, kMaxHeaderValue),
                       ReadFirstStringProperty(*recipient, {id::kSmtpAddress, id::kEmailAddress},
                                               codePage, kMaxHeaderValue));
    if (entry.empty()) continue;
    if (!list->empty()) *list += "; ";
    *list += entry;
    ++listed;
  }
  return lists;
}

void AppendLine(std::string& text, std::string_view label, const std::string& value) {
  if (value.empty()) return;
  text += label;
  text += ": ";
  text += OnOneLine(value);
  text += '\n';
}

}  // namespace

TextCodePage MessageCodePage(const FixedProperties& properties, platform::CodePage ansi) {
  // The message's own code page describes its stored strings; the Internet
  // one, the code page it travelled in, is the next best guess.
  const auto number = properties.Find(id::kMessageCodePage, kPropLong)
                          .value_or(properties.Find(id::kInternetCodePage, kPropLong).value_or(0));
  return TextCodePage{static_cast<uint32_t>(number), ansi};
}

View MessageTextView(StorageReader& message, const std::vector<ChildElement>& children,
                     const FixedProperties& properties, const TextCodePage& codePage,
                     ViewCollector& collector) {
  const auto read = [&](std::initializer_list<uint16_t> ids) {
    return ReadFirstStringProperty(message, ids, codePage, kMaxHeaderValue);
  };
  const std::string subject = read({id::kSubject}).value_or("");
  // The recipient storages carry each one's address, as a mail reader
  // shows it; the display lists, names only, stand in when there are none.
  auto [to, cc] = ListRecipients(message, children, codePage, collector);
  if (to.empty() && cc.empty()) {
    to = read({id::kDisplayTo}).value_or("");
    cc = read({id::kDisplayCc}).value_or("");
  }
  std::optional<std::string> date;
  for (uint16_t time : {id::kClientSubmitTime, id::kDeliveryTime}) {
    if (auto ticks = properties.Find(time, kPropTime); ticks && !date) date = IsoUtcTime(*ticks);
  }

  std::string text;
  AppendLine(text, "Subject", subject);
  AppendLine(text, "From",
             NameAndAddress(read({id::kSenderName, id::kSentRepresentingName}),
                            read({id::kSenderSmtp, id::kSenderEmail, id::kSentRepresentingEmail})));
  AppendLine(text, "To", to);
  AppendLine(text, "Cc", cc);
  AppendLine(text, "Date", date.value_or(""));
  if (auto body =
          ReadStringProperty(message, id::kBody, codePage, collector.limits().maxSmallStream)) {
    text += '\n';
    text += *body;
    if (!body->ends_with('\n')) text += '\n';
  }

  View view;
  view.kind = View::Kind::kText;
  view.name = subject.empty() ? "message.txt" : OnOneLine(subject) + ".txt";
  view.size = text.size();
  view.text = std::move(text);
  return view;
}

}  // namespace content
