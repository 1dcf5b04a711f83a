// Installer databases' compact stream names, and how names show and are
// stored in an archive of each style.
#include "storagewcx/installer_names.h"

#include <gtest/gtest.h>

#include "storagewcx/name_style.h"

namespace {

using storagewcx::DecodeInstallerName;
using storagewcx::EncodeInstallerName;
using storagewcx::NameStyle;
using storagewcx::ShownElementName;
using storagewcx::StoredElementName;

// Stored names as msitools wrote them into a database (see olefile's listing).
TEST(InstallerNames, EncodeAndDecodeAsInstallerToolsDo) {
  const struct {
    std::u16string shown;
    std::u16string stored;
  } cases[] = {
      {u"tiny.cab", u"\u4337\u4731\u41be\u4164"},        // a whole number of pairs
      {u"!File", u"\u4840\u430f\u422f"},                 // a table
      {u"!_Tables", u"\u4840\u3f7f\u4164\u422f\u4836"},  // "s" is a lone tail
      {u"!_Columns", u"\u4840\u3b3f\u43f2\u4438\u45b1"},
      {u"a", u"\u4824"},                                       // a single character
      {u"!", u"\u4840"},                                       // a table with no name
      {u"a-b", u"\u4824-\u4825"},                              // others stay as they are
      {u"\x05SummaryInformation", u"\x05SummaryInformation"},  // property sets too
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeInstallerName(c.shown), c.stored);
    EXPECT_EQ(DecodeInstallerName(c.stored), c.shown);
  }
  // Names encoding would not give back do not decode: each shown name
  // stands for one element.
  for (const std::u16string stored : {u"plain", u"!odd", u"x\u4840", u"\x05\u4824"})
    EXPECT_EQ(DecodeInstallerName(stored), std::nullopt);
}

TEST(InstallerNames, ShownAndStoredNamesOfEachStyle) {
  const struct {
    std::u16string stored;
    std::string shown;
  } cases[] = {
      {u"\u4840\u430f\u422f", "!File"},
      {u"plain", "plain"},                        // not in the encoding: as it is
      {u"!odd", "#0021odd"},                      // never reads as a table
      {u"\x05Summary", "#0005Summary"},           // escaped as ever
      {u"\u47be\u47be", "#002E#002E#002E#002E"},  // "....": escaped as ever
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownElementName(NameStyle::kInstaller, c.stored.c_str()), c.shown);
    EXPECT_EQ(StoredElementName(NameStyle::kInstaller, c.shown),
              c.stored == u"plain" ? EncodeInstallerName(u"plain") : c.stored)
        << c.shown;
  }
  EXPECT_EQ(StoredElementName(NameStyle::kInstaller, "#0021File"), u"!File");
  EXPECT_EQ(ShownElementName(NameStyle::kPlain, u"\u4840\u3f7f"), "\u4840\u3f7f");
  EXPECT_EQ(StoredElementName(NameStyle::kPlain, "!File"), u"!File");
}

}  // namespace
