// The ids of the message, recipient and attachment properties the views read.
#pragma once

#include <cstdint>

namespace content::message_id {

inline constexpr uint16_t kClientSubmitTime = 0x0039;
inline constexpr uint16_t kSubject = 0x0037;
inline constexpr uint16_t kSentRepresentingName = 0x0042;
inline constexpr uint16_t kSentRepresentingEmail = 0x0065;
inline constexpr uint16_t kSenderName = 0x0C1A;
inline constexpr uint16_t kSenderEmail = 0x0C1F;
inline constexpr uint16_t kSenderSmtp = 0x5D01;
inline constexpr uint16_t kRecipientType = 0x0C15;
inline constexpr uint16_t kDisplayCc = 0x0E03;
inline constexpr uint16_t kDisplayTo = 0x0E04;
inline constexpr uint16_t kDeliveryTime = 0x0E06;
inline constexpr uint16_t kBody = 0x1000;
inline constexpr uint16_t kDisplayName = 0x3001;
inline constexpr uint16_t kEmailAddress = 0x3003;
inline constexpr uint16_t kSmtpAddress = 0x39FE;
inline constexpr uint16_t kAttachData = 0x3701;
inline constexpr uint16_t kAttachFileName = 0x3704;
inline constexpr uint16_t kAttachLongFileName = 0x3707;
inline constexpr uint16_t kInternetCodePage = 0x3FDE;
inline constexpr uint16_t kMessageCodePage = 0x3FFD;

}  // namespace content::message_id
