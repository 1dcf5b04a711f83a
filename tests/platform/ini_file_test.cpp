// The host's ini file is read alike on both systems: the system's profile
// functions on Windows, the plug-in's own reader elsewhere.
#include <gtest/gtest.h>

#include "platform/os.h"
#include "temp_dir.h"

namespace {

using platform::ReadIniValue;

TEST(IniFile, ReadsAsTheProfileFunctionsDo) {
  testing_support::TempDir dir;
  const std::string ini = dir.Write("wcx.ini",
                                    "; settings of the plug-ins\r\n"
                                    "[Other]\r\n"
                                    "ContentViews=other\r\n"
                                    "[qorstoragewcx]\r\n"
                                    "  contentviews  =  0  \r\n"
                                    "ContentViews=second\r\n"
                                    "Quoted=\"a value\"\r\n"
                                    "Empty=\r\n"
                                    "[Last]\n"
                                    "Unix=lf\n");
  EXPECT_EQ(ReadIniValue(ini, "qorStorageWCX", "ContentViews"), "0");
  EXPECT_EQ(ReadIniValue(ini, "Other", "ContentViews"), "other");
  EXPECT_EQ(ReadIniValue(ini, "QORSTORAGEWCX", "Quoted"), "a value");
  EXPECT_EQ(ReadIniValue(ini, "Last", "Unix"), "lf");
  EXPECT_EQ(ReadIniValue(ini, "qorStorageWCX", "Empty"), std::nullopt);
  EXPECT_EQ(ReadIniValue(ini, "qorStorageWCX", "Unix"), std::nullopt);
  EXPECT_EQ(ReadIniValue(ini, "Missing", "ContentViews"), std::nullopt);
  EXPECT_EQ(ReadIniValue(dir.File("absent.ini"), "qorStorageWCX", "ContentViews"), std::nullopt);
  EXPECT_EQ(ReadIniValue("", "qorStorageWCX", "ContentViews"), std::nullopt);
}

}  // namespace
