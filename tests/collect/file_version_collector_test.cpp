#include "collect/file_version_collector.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FileVersionRow, ThirteenFieldsOrNotApplicable) {
  EXPECT_EQ(AttributeLetters(0xFFFFFFFF), "");  // unreadable

  FileFacts facts;
  facts.opened = true;
  facts.size = 5368709120;  // 5 GiB: all 64 bits
  facts.created = {2024, 3, 5, 9, 7, 3};
  facts.modified = {1999, 12, 31, 23, 59, 59};
  facts.accessed = {};  // a time that could not be converted
  facts.attributes = 0x1 | 0x2 | 0x20;
  const std::string versions[kVersionStringCount] = {
      "5. 1. 2600. 0", "5.1", "Shell", "Windows", "", "", "SP2"};
  EXPECT_EQ(FormatFileVersionRow("C:\\Windows\\explorer.exe", facts, versions),
            "C:\\Windows\\explorer.exe,5368709120,05/03/2024 09:07:03,31/12/1999 23:59:59,"
            "00/00/0000 00:00:00,RHA,5. 1. 2600. 0,5.1,Shell,Windows,,,SP2");
  facts.opened = false;
  const std::string quoted[kVersionStringCount] = {"", "", "say \"hi\"", "", "c\nd", "a\rb", ""};
  EXPECT_EQ(FormatFileVersionRow("C:\\v\\a,b.log", facts, quoted),
            "\"C:\\v\\a,b.log\",N/A,N/A,N/A,N/A,N/A,,,\"say \"\"hi\"\"\",,\"c\nd\",\"a\rb\",");

  uint16_t language = 0, codePage = 0;
  EXPECT_FALSE(FirstTranslation("\x09\x04\xB0", 3, &language, &codePage));
}

}  // namespace
