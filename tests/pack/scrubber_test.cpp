#include "pack/scrubber.h"

#include <gtest/gtest.h>

namespace {

Scrubber MachineScrubber() {
  Scrubber s;
  s.AddName(NameKind::Host, "WS-JSMITH", {});
  s.AddName(NameKind::Host, "ws-jsmith.acme.local", {}, "WS-JSMITH");
  s.AddName(NameKind::User, "jsmith", {});
  s.AddName(NameKind::User, "J\xC3\xBCrgen", {"J\xFCrgen", "J\xC3\x9CRGEN"});  // UTF-8, 1252
  s.AddName(NameKind::Domain, "acme.local", {});
  s.AddName(NameKind::Domain, "ACME", {}, "acme.local");
  s.AddName(NameKind::Word, "contoso", {});
  return s;
}

// Each line scrubbed alone by one scrubber, so the numbers run on.
TEST(Scrubber, ReplacesWholeNamesAddressesAndMailsKeepingTheirShape) {
  Scrubber s = MachineScrubber();
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {
      {"C:\\Users\\JSmith\\a.log", "C:\\Users\\user0001\\a.log"},
      {"jsmithson xjsmith jsmith2 jsmith-pc x_jsmith",
       "jsmithson xjsmith jsmith2 user0001-pc x_user0001"},
      {"ACME\\jsmith on WS-JSMITH.acme.local", "domain0001\\user0001 on host0001"},
      {"ws-jsmith.ACME.local contoso, Contoso.", "host0001 word0001, word0001."},
      {"\xC2\xABjsmith\xC2\xBB \xABjsmith\xBB", "\xC2\xABuser0001\xC2\xBB \xABuser0001\xBB"},
      {"J\xC3\xBCrgen j\xC3\xBCrgen J\xC3\x9CRGEN J\xFCrgen J\xFCrgens",
       "user0002 user0002 "
       "user0002 user0002 J\xFCrgens"},
      {"10.1.2.3\r\n10.1.2.99", "198.18.0.3\r\n198.18.0.99"},
      {"to 10.1.3.4. From 10.1.3.4:445", "to 198.18.1.4. From 198.18.1.4:445"},
      {"127.0.0.1 0.0.0.0 1.0.0.0 255.255.255.0 224.0.0.251",
       "127.0.0.1 0.0.0.0 1.0.0.0 "
       "255.255.255.0 224.0.0.251"},
      {"6.1.7601.17514 1.2.3.4.5 v1.2.3.4 10.1.2.3.4",
       "6.1.7601.17514 1.2.3.4.5 v1.2.3.4 "
       "10.1.2.3.4"},
      {"fe80::1c2:3ff:fe4d:5e6f%12", "fe80::1%12"},
      {"[2001:DB8:0:0:1::5]:80 2001:db8::1:0:0:5.", "[2001:db8:0:1::2]:80 2001:db8:0:1::2."},
      {"2001:db8:0:0:1::6", "2001:db8:0:1::3"},
      {"::1 :: ff02::1 1::2::3 std::string 12:30:45",
       "::1 :: ff02::1 1::2::3 std::string 12:30:45"},
      {"::ffff:10.1.2.7 at fe80::9:", "::ffff:198.18.0.7 at fe80::4:"},
      {"00-1A-2B-3C-4D-5E 00:1a:2b:3c:4d:5e", "02-00-00-00-00-01 02:00:00:00:00:01"},
      {"00-00-00-00-00-00 00:1a:2b:3c:4d:5e:6f", "00-00-00-00-00-00 00:1a:2b:3c:4d:5e:6f"},
      {"<JSmith@ACME.local> john.doe@contoso.com",
       "<user0001@domain0001.example> "
       "user0003@domain0002.example"},
      {"\xEF\xBB\xBFjsmith", "\xEF\xBB\xBFuser0001"},
  };
  for (const auto& c : kCases) EXPECT_EQ(s.ScrubText(c.in), c.out) << c.in;
}

TEST(Scrubber, PiecesAndUtf16GiveWhatTheWholeTextGives) {
  const std::string text =
      "host WS-JSMITH at 10.9.8.7\nmail jsmith@acme.local \xC3\xA9t\xC3\xA9"
      "\nJ\xC3\xBCrgen \xF0\x9F\x98\x80 fe80::1\n";
  Scrubber whole = MachineScrubber();
  const std::string expected = whole.ScrubText(text);
  for (size_t piece = 1; piece <= 7; ++piece) {
    Scrubber s = MachineScrubber();
    Scrubber::Stream stream(&s);
    std::string out;
    for (size_t at = 0; at < text.size(); at += piece)
      stream.Feed(text.data() + at, std::min(piece, text.size() - at), &out);
    stream.Finish(&out);
    EXPECT_EQ(out, expected) << piece;
  }
  // The same text as UTF-16LE, a lone surrogate and an odd last byte kept.
  const auto utf16 = [](const std::u16string& t) {
    return std::string(reinterpret_cast<const char*>(t.data()), t.size() * 2);
  };
  const std::u16string wide =
      u"ws-jsmith 10.9.8.7\r\nJ\u00FCrgen \U0001F600 \xD800 JSMITH\u00E9 jsmith";
  for (size_t piece : {1, 3, 1024}) {
    Scrubber s = MachineScrubber();
    Scrubber::Utf16Stream stream(&s);
    const std::string bytes = utf16(wide) + "x";
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += piece)
      ASSERT_TRUE(stream.Feed(bytes.data() + at, std::min(piece, bytes.size() - at), &out));
    stream.Finish(&out);
    EXPECT_EQ(
        out,
        utf16(u"host0001 198.18.0.7\r\nuser0002 \U0001F600 \xD800 JSMITH\u00E9 user0001") + "x")
        << piece;
  }
  Scrubber s;
  Scrubber::Utf16Stream stream(&s);
  std::string out;
  EXPECT_FALSE(stream.Feed("a\0\0\0", 4, &out));  // U+0000: not text
}

TEST(Scrubber, MapListsEveryNameAndEachAddressOnce) {
  Scrubber s = MachineScrubber();
  s.ScrubText("jsmith 10.1.2.3 10.1.2.3 FE80::1 fe80:0::1 a@b.example");
  std::string map;
  for (const MapRow& row : s.MapRows())
    map += row.kind + "," + row.original + "," + row.pseudonym + ";";
  EXPECT_EQ(map,
            "host,WS-JSMITH,host0001;host,ws-jsmith.acme.local,host0001;user,jsmith,user0001;"
            "user,J\xC3\xBCrgen,user0002;domain,acme.local,domain0001.example;"
            "domain,ACME,domain0001;word,contoso,word0001;ipv4,10.1.2.3,198.18.0.3;"
            "ipv6,fe80::1,fe80::1;email,a@b.example,user0003@domain0002.example;");
  EXPECT_EQ(s.replacements(), 6u);
  EXPECT_EQ(s.originalsReplaced(), 4u);
}

TEST(Scrubber, FileKindFromTheFirstBytes) {
  size_t bom = 0;
  EXPECT_EQ(JudgeFileKind("\xFF\xFEh\0", 4, &bom), FileKind::Utf16);
  EXPECT_EQ(bom, 2u);
  EXPECT_EQ(JudgeFileKind("h\0i\0\r\0\n\0", 8, &bom), FileKind::Utf16);
  EXPECT_EQ(JudgeFileKind("plain\xE9", 6, &bom), FileKind::Text8);
  EXPECT_EQ(JudgeFileKind("MZ\x90\0\x03\0\0\0", 8, &bom), FileKind::Binary);
  EXPECT_EQ(JudgeFileKind("ElfFile\0abcdefgh", 16, &bom), FileKind::Binary);
}

}  // namespace
