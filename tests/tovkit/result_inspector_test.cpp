#include "result_inspector.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <sstream>

#include "collect/file_collector.h"
#include "inspect.h"
#include "pack/manifest_format.h"
#include "pack/result_packager.h"
#include "pack/tar_writer.h"
#include "report.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "support/test_support.h"
#include "verdict.h"

namespace {

std::string Gzip(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

unsigned char* Bytes(std::string& text) { return reinterpret_cast<unsigned char*>(&text[0]); }

// Puts the right checksum into the header block at `at` after a change.
void Seal(std::string* tar, size_t at) {
  std::memset(&(*tar)[at + 148], ' ', 8);
  unsigned sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += static_cast<unsigned char>((*tar)[at + i]);
  std::snprintf(&(*tar)[at + 148], 8, "%06o", sum);
}

// A member as the writer stores it (a pax header first where the name needs
// one), whose header may claim another size than the data it carries.
std::string Member(const std::string& name, const std::string& data, uint64_t size = UINT64_MAX) {
  std::string out(512, '\0');
  if (!BuildHeader(name, size == UINT64_MAX ? data.size() : size, 0, Bytes(out))) {
    std::string pax(PaxHeaderBlocks(name) * 512, '\0');
    BuildPaxHeader(name, 0, Bytes(pax));
    out = pax + out;
  }
  return out + data + std::string((512 - data.size() % 512) % 512, '\0');
}

// A member of another type, with its name as given.
std::string Typed(const std::string& name, char type) {
  std::string out = Member("t", "");
  out.replace(0, name.size(), name);
  out[156] = type;
  Seal(&out, 0);
  return out;
}

const std::string kEnd(1024, '\0');

std::string Manifest(const std::string& rows) {
  return testing_support::Signed("<FILE_LIST_START>\r\n" + rows + "<FILE_LIST_END>\r\n");
}

// Fed in small pieces, so that every boundary is crossed somewhere.
InspectReport Inspect(const std::string& bytes, size_t piece = 7) {
  size_t at = 0;
  return InspectResult([&](unsigned char* buffer, size_t size) -> long {
    const size_t n = std::min({size, piece, bytes.size() - at});
    std::memcpy(buffer, bytes.data() + at, n);
    at += n;
    return static_cast<long>(n);
  });
}

// A result as brindle.exe makes it, with a path holding a comma that the
// sweep listed a second time.
const std::string kLog = "Time,Type,Description\r\n", kReg(1300, 'r');
const std::string kRows =
    "5DA57EBB,Activity Log.csv,\r\n78261E50,sub\\x.reg,C:\\src\\x.reg\r\n06B9DF6F,a,b.txt,\r\n"
    "<EXTERNAL_FILES>\r\n06B9DF6F,a,b.txt,\r\n";
std::string GoodTar(const std::string& manifest, const std::string& reg = kReg) {
  return Member("Activity Log.csv", kLog) + Member("FileList.csv", manifest) +
         Member("sub/x.reg", reg) + Member("a,b.txt", "c");
}

TEST(ResultInspectorTest, ChecksAgainstTheSignedManifest) {
  InspectReport report = Inspect(Gzip(GoodTar(Manifest(kRows)) + kEnd));
  EXPECT_TRUE(report.clean()) << tovkit::JudgeResult(report, tovkit::LogSummary()).headline;
  EXPECT_EQ(report.listed, 4u);

  // Changed data, an unlisted member and a missing file.
  report = Inspect(Gzip(GoodTar(Manifest(kRows + "00000000,gone.txt,\r\n"), kReg + "!") +
                        Member("stray.bin", "s") + kEnd));
  ASSERT_EQ(report.changedCount, 1u);
  EXPECT_EQ(report.changed[0].substr(0, 28), "sub\\x.reg (listed 78261E50, ");
  EXPECT_EQ(tovkit::JudgeResult(report, tovkit::LogSummary()).headline,
            "NOT INTACT: 1 missing, 1 changed, 1 extra, 0 other problems");

  std::string tampered = Manifest(kRows);
  tampered[tampered.find("sub\\x.reg")] = 'S';
  report = Inspect(Gzip(GoodTar(tampered) + kEnd));
  EXPECT_TRUE(report.manifestFound && !report.signatureValid);
  EXPECT_NE(tovkit::JudgeResult(report, tovkit::LogSummary()).headline.find("signature invalid"),
            std::string::npos);
}

TEST(ResultInspectorTest, HostileInputIsReportedNotTrusted) {
  const std::string good = GoodTar(Manifest(kRows)) + kEnd;
  std::string badSum = good;
  badSum[0] = 'X';  // name changed, checksum not
  // A base-256 size beyond 64 bits, with a checksum that fits.
  std::string base256 = Member("b256", "");
  base256[124] = static_cast<char>(0x80);
  Seal(&base256, 0);
  const std::string gz = Gzip(good);
  std::string badCrc = gz, badLength = gz;
  badCrc[gz.size() - 8] ^= 1;
  badLength[gz.size() - 4] ^= 1;
  const std::string pax = Member(std::string(150, 'p'), "");
  std::string badPax = pax, hugePax = Member("huge", "", 2u << 20);
  badPax[512] = 'x';  // the record's length
  hugePax[156] = 'x';
  Seal(&hugePax, 0);
  std::string longNames;  // each name within the pax limit, all beyond what a manifest lists
  const std::string longName = Member(std::string(1000000, 'n'), "");
  for (size_t n = 0; n <= kInspectMaxManifest / 1000000; ++n) longNames += longName;
  const struct {
    const char* what;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty file", "", "empty file"},
      {"not gzip", "hello, world", "not a gzip stream"},
      {"truncated gzip", gz.substr(0, gz.size() / 2), "truncated gzip stream"},
      {"bad checksum", Gzip(badSum), "header checksum mismatch (header 1)"},
      {"size that lies", Gzip(Member("big", "0123", 077777777777) + kEnd),
       "truncated archive (member data)"},
      {"base-256 size", Gzip(base256 + kEnd), "bad size field (header 1)"},
      {"no end blocks", Gzip(Member("a", "a")), "archive ends without its end blocks"},
      {"wrong gzip CRC", badCrc, "damaged gzip data"},
      {"wrong gzip length", badLength, "damaged gzip data"},
      {"bad pax record", Gzip(badPax + kEnd), "bad pax header (header 1)"},
      {"pax header, no member", Gzip(pax.substr(0, 1024) + kEnd), "pax header without its member"},
      {"pax header too large", Gzip(hugePax), "pax header too large (header 1)"},
      {"names too long", Gzip(longNames + kEnd), "member names larger than the limit"},
  };
  for (const auto& c : cases) {
    const InspectReport report = Inspect(c.bytes, 4096);
    EXPECT_FALSE(report.readable) << c.what;
    EXPECT_EQ(report.error, c.error) << c.what;
    EXPECT_NE(tovkit::JudgeResult(report, tovkit::LogSummary()).headline.find("damaged archive"),
              std::string::npos)
        << c.what;
  }
}

TEST(ResultInspectorTest, OddButReadableArchives) {
  const std::string good = GoodTar(Manifest(kRows)) + kEnd;
  // Two gzip members, as gzip(1) reads them; but bytes after the last, or
  // a second member that is not whole, which tar may read otherwise.
  EXPECT_TRUE(Inspect(Gzip(good.substr(0, 1536)) + Gzip(good.substr(1536))).clean());
  for (const std::string& tail :
       {std::string(10, '\0'), std::string("junk"), Gzip("x").substr(0, 12)}) {
    const InspectReport report = Inspect(Gzip(good) + tail);
    EXPECT_FALSE(report.clean()) << tail.size();
    if (report.readable) {
      EXPECT_EQ(report.problems,
                std::vector<std::string>{"bytes after the end of the gzip stream"});
    }
  }

  const std::string pax = "../" + std::string(200, 'p');
  const std::string sneaky = Member("FileList.csv", Manifest("")) + Member("../../etc/x", "x") +
                             Member("/abs", "y") + Member("dup", "1") + Member("dup", "2") +
                             Typed("../up/", '5') + Typed("C:x", '5') + Member(pax, "p") + kEnd +
                             Member("hidden", "h");
  const InspectReport report = Inspect(Gzip(sneaky));
  EXPECT_TRUE(report.readable);
  EXPECT_EQ(report.problems,
            (std::vector<std::string>{"unsafe member name: ../../etc/x", "unsafe member name: /abs",
                                      "duplicate member: dup", "unsafe member name: ../up/",
                                      "unsafe member name: C:x", "unsafe member name: " + pax,
                                      "data after the archive's end block"}));
}

// Names the writer stores in the prefix field or a pax header, base-256
// sizes, and paths full of commas: the result stays clean.
TEST(ResultInspectorTest, LongNamesSizesAndCommas) {
  const std::string commas(5000, ',');
  const struct {
    std::string relative, source, data;
  } files[] = {
      {"d\\" + std::string(150, 'n'), "", "prefix"},
      {"deep\\" + std::string(300, 'o') + "1", "", "pax 1"},
      {"deep\\" + std::string(300, 'o') + "2", "", "pax 2"},
      {"a" + commas + "b.txt", "C:\\x,y" + commas, "commas"},
      // Two rows alike but for their CRC: "a" from "b,src", and "a,b" from "src".
      {"a", "b,src", "a"},
      {"a,b", "src", "a,b"},
      {"\\lead\\x", "", "leading separator"},
  };
  std::string tar, rows;
  for (const auto& f : files) {
    rows += ManifestRow(Crc(f.data), f.relative, f.source) + "\r\n";
    tar += Member(MemberNameForManifestPath(f.relative), f.data);
  }
  // A small size in base 256, as a reader meets it from 8 GiB on.
  std::string big = Member("big.bin", "12345");
  std::memcpy(&big[124], "\x80\0\0\0\0\0\0\0\0\0\0\x05", 12);
  Seal(&big, 0);
  rows += ManifestRow(Crc("12345"), "big.bin", "") + "\r\n";
  // Names beyond ASCII: the header holds the code page's bytes (escapes for
  // what it lacks), the pax path UTF-8; a cut header leaves the pax path,
  // matched by the Western code page.
  const std::string q(120, 'q');  // a Japanese result (code page 932) first
  for (const auto& n : std::vector<std::pair<std::string, std::string>>{
           {"\x82\xA0.txt", "\xE3\x81\x82.txt"},
           {"<U+041F><U+1F600>.txt", "\xD0\x9F\xF0\x9F\x98\x80.txt"},
           {q + "\xE9<U+041F>", q + "\xC3\xA9\xD0\x9F"}}) {
    std::string header(512, '\0'), pax(PaxHeaderBlocks(n.second) * 512, '\0');
    BuildHeader(n.first, 1, 0, Bytes(header));
    BuildPaxHeader(n.second, 0, Bytes(pax));
    tar += pax + header + "n" + std::string(511, '\0');
    rows += ManifestRow(Crc("n"), n.first, "") + "\r\n";
  }
  const InspectReport report =
      Inspect(Gzip(tar + big + Member("FileList.csv", Manifest(rows)) + kEnd));
  EXPECT_TRUE(report.clean()) << tovkit::JudgeResult(report, tovkit::LogSummary()).headline;
  EXPECT_EQ(report.files, 12u);
}

// What the command makes of the findings: missing files beyond the limit
// counted, names that would drive the terminal made harmless.
TEST(TovkitInspect, ListsFindingsAndGivesTheExitStatus) {
  Settings().Reset();
  testing_support::ScratchFolder dir("inspect");
  std::ostringstream out, err;
  EXPECT_EQ(tovkit::Inspect({dir / "missing.tgz"}, out, err), 2);
  std::string rows;
  for (size_t i = 0; i < kInspectMaxListed + 2; ++i)
    rows += "0,gone\033" + std::to_string(i) + ",\r\n";
  const std::string gone = dir / "gone.tgz";
  testing_support::WriteFile(gone, Gzip(Member("FileList.csv", Manifest(rows)) + kEnd));
  EXPECT_EQ(tovkit::Inspect({gone}, out, err), 1);
  EXPECT_NE(out.str().find("\nmissing: gone<U+001B>0\nmissing: gone<U+001B>1\n"), std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("\nmissing: ... and 2 more\n" + gone + ": NOT INTACT: "),
            std::string::npos);

#ifndef _WIN32
  // A file the packer finds but cannot open is named by the result itself,
  // under a name no collected file has.
  testing_support::ScratchFolder held("held");
  testing_support::WriteFile(held / "FileList.csv",
                             testing_support::Signed("<FILE_LIST_START>\r\n<FILE_LIST_END>\r\n"));
  testing_support::WriteFile(held / "Not Packed.csv", "collected");
  testing_support::MakeUnopenableFile(held / "he,ld.log");
  const std::string gaps = dir / "gaps.tgz";
  RaiseWriteFailure();  // an earlier write failed: all the rest is packed, and named
  EXPECT_FALSE(ResultPackager::Compress(held.path(), gaps));
  out.str("");
  EXPECT_EQ(tovkit::Inspect({gaps}, out, err), 1);
  EXPECT_NE(out.str().find("\nnot packed: he,ld.log: cannot be opened (error 6)\n"
                           "extra: Not Packed.csv\n"),
            std::string::npos);
  Settings().Reset();
#endif
}

// One verdict, told alike by a single file, a folder, JSON and the report.
TEST(TovkitVerdict, EveryModeTellsTheSameVerdict) {
  testing_support::ScratchFolder dir("verdict");
  const std::string head = "Time,Type,Description\r\nt,INFORMATION,XML file found: a.tov\r\n";
  const struct {
    const char* name;
    std::string log;
    const char* headline;
    const char* word;
    int code;
  } cases[] = {
      {"a", head, "clean: 2 files", "clean", 0},
      {"b", head + "t,ERROR,Unable to execute command (2)\r\n",
       "intact, collected with errors (1 error)", "intact with errors", 4},
      {"c",
       head +
           "t,ERROR,XML file a.tov does not have a valid signiture and will not be processed.\r\n",
       "intact, but no script ran (1 refused)", "no script ran", 4},
      {"d", "", "NOT INTACT: damaged archive", "NOT INTACT", 1},
  };
  for (const auto& c : cases) {
    const std::string path = dir / (std::string(c.name) + ".tgz");
    std::string tgz = Gzip(
        Member("Activity Log.csv", c.log) +
        Member("FileList.csv", Manifest(CrcText(Crc(c.log)) + ",Activity Log.csv,\r\n")) + kEnd);
    if (c.log.empty()) tgz.resize(tgz.size() - 9);
    testing_support::WriteFile(path, tgz);
    std::ostringstream out, err;
    EXPECT_EQ(tovkit::Inspect({path}, out, err), c.code) << c.name;
    EXPECT_NE(out.str().find("\n" + path + ": " + c.headline), std::string::npos) << out.str();
    out.str("");
    EXPECT_EQ(tovkit::Inspect({"--json", path}, out, err), c.code) << c.name;
    EXPECT_NE(out.str().find("\"verdict\": \"" + std::string(c.word) + "\""), std::string::npos);
    out.str("");
    EXPECT_EQ(tovkit::Report({path, "-o", path + ".html"}, out, err), c.code) << c.name;
    EXPECT_NE(testing_support::ReadFile(path + ".html").find(c.headline), std::string::npos);
  }
}

// The page holds a bounded part of what a result holds, says how much more
// there is, names each problem's place, and shows no control as it is.
TEST(TovkitReport, BoundedPlacedAndEscaped) {
  testing_support::ScratchFolder dir("bounded");
  const std::string log =
      "Time,Type,Description\r\nt,INFORMATION,XML file found: a.tov\r\nt,DEBUG,XML Section: "
      "EXECUTE\r\nt,DEBUG,XML Name: Tool\r\nt,ERROR,Unable to execute command (2)\r\n";
  std::string versions = std::string(kFileVersionListHeader) + "\r\n", text;
  for (int i = 0; i < 2500; ++i) versions += "C:\\f" + std::to_string(i) + ".dll,1\r\n";
  for (int i = 0; i < 300; ++i) text += "line\r\n";
  testing_support::WriteFile(dir / "r.tgz",
                             Gzip(Member("Activity Log.csv", log) + Member("a/V.csv", versions) +
                                  Member("a/Tool.txt", text) +
                                  Member("a/invoice\xE2\x80\xAE"
                                         "fdp.exe",
                                         "x") +
                                  kEnd));
  std::ostringstream out, err;
  tovkit::Report({dir / "r.tgz"}, out, err);
  const std::string page = testing_support::ReadFile(dir / "r.html");
  EXPECT_NE(page.find("500 more rows in the file"), std::string::npos);
  EXPECT_NE(page.find("100 more lines in the file"), std::string::npos);
  EXPECT_NE(page.find("a.tov<br><span class=\"muted\">EXECUTE Tool</span></td><td>Unable to "
                      "execute command (2)<br><span class=\"muted\">the file was not found"),
            std::string::npos);
  EXPECT_NE(page.find("invoice&lt;U+202E&gt;fdp.exe"), std::string::npos);
  EXPECT_EQ(page.find("\xE2\x80\xAE"), std::string::npos);
  EXPECT_EQ(page.find("id=\"processes\""), std::string::npos) << "no empty table";
}

}  // namespace
