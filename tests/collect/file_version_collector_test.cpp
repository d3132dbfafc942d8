#include "collect/file_version_collector.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AttributeLetters, FixedOrderAndOnlySixBits) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0x0, ""},
      {0x80, ""},  // normal
      {0x1 | 0x2 | 0x20, "RHA"},
      {0x4000 | 0x800 | 0x20 | 0x4 | 0x2 | 0x1, "RHSACE"},
      {0x10 | 0x100 | 0x200 | 0x400 | 0x1000 | 0x2000, ""},  // folder, temporary, ...
      {0xFFFFFFFF, ""},                                      // attributes unreadable
  };
  for (const auto& c : cases) EXPECT_EQ(AttributeLetters(c.first), c.second) << c.first;
}

TEST(VersionLookups, TranslationAndStringPath) {
  EXPECT_EQ(VersionStringPath(0x409, 0x4B0, "FileVersion"),
            "\\StringFileInfo\\040904B0\\FileVersion");
  EXPECT_EQ(VersionStringPath(0xc0c, 0xfde9, "Comments"), "\\StringFileInfo\\0C0CFDE9\\Comments");

  // Two entries, unaligned: the first one only.
  const unsigned char value[] = {0, 0x09, 0x04, 0xB0, 0x04, 0x07, 0x04, 0xE4, 0x04};
  uint16_t language = 0, codePage = 0;
  ASSERT_TRUE(FirstTranslation(value + 1, 8, &language, &codePage));
  EXPECT_EQ(language, 0x409);
  EXPECT_EQ(codePage, 0x4B0);
  EXPECT_FALSE(FirstTranslation(value + 1, 3, &language, &codePage));
  EXPECT_FALSE(FirstTranslation(nullptr, 8, &language, &codePage));

  EXPECT_EQ(CommasToDots("5, 1, 2600, 0"), "5. 1. 2600. 0");
}

TEST(FormatFileVersionRow, ThirteenFieldsOrNotApplicable) {
  FileFacts facts;
  facts.opened = true;
  facts.sizeLow = 10;
  facts.created = {2024, 3, 5, 9, 7, 3};
  facts.modified = {1999, 12, 31, 23, 59, 59};
  facts.accessed = {};  // a time that could not be converted
  facts.attributes = 0x1 | 0x2 | 0x20;
  const std::string versions[kVersionStringCount] = {
      "5. 1. 2600. 0", "5.1", "Shell", "Windows", "", "", "SP2"};
  EXPECT_EQ(FormatFileVersionRow("C:\\Windows\\explorer.exe", facts, versions),
            "C:\\Windows\\explorer.exe,10,05/03/2024 09:07:03,31/12/1999 23:59:59,"
            "00/00/0000 00:00:00,RHA,5. 1. 2600. 0,5.1,Shell,Windows,,,SP2");

  // A readable file of 4 GiB - 1 bytes shows its size, not "N/A".
  facts.sizeLow = 0xFFFFFFFF;
  facts.attributes = 0;
  const std::string none[kVersionStringCount];
  EXPECT_EQ(FormatFileVersionRow("a,b", facts, none),
            "a,b,4294967295,05/03/2024 09:07:03,31/12/1999 23:59:59,00/00/0000 00:00:00,,,,,,,,");

  facts.opened = false;
  EXPECT_EQ(FormatFileVersionRow("D:\\gone.dll", facts, versions),
            "D:\\gone.dll,N/A,N/A,N/A,N/A,N/A,5. 1. 2600. 0,5.1,Shell,Windows,,,SP2");
}

}  // namespace
