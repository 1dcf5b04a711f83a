#include <gtest/gtest.h>

#include <string>

#include "platform/ole.h"
#include "platform/stg_messages.h"

namespace {

TEST(OleMessages, TextsEndInCrLfAndKeepTheirInserts) {
  EXPECT_STREQ(platform::StgMessageText(static_cast<uint32_t>(STG_E_FILENOTFOUND)),
               "%1 could not be found.\r\n");
  EXPECT_STREQ(platform::StgMessageText(static_cast<uint32_t>(STG_E_DOCFILECORRUPT)),
               "The docfile has been corrupted.\r\n");
  EXPECT_STREQ(platform::StgMessageText(static_cast<uint32_t>(STG_E_INVALIDFUNCTION)),
               "Unable to perform requested operation.\r\n");
  EXPECT_EQ(platform::StgMessageText(0), nullptr);
  EXPECT_EQ(platform::StgMessageText(0x80030007), nullptr);
}

}  // namespace
