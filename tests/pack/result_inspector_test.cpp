#include "pack/result_inspector.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "pack/tar_writer.h"
#include "script/signature.h"

namespace {

std::string Gzip(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
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

std::string Member(const std::string& name, const std::string& data) {
  unsigned char header[512];
  EXPECT_TRUE(BuildHeader(name, data.size(), 0, header));
  std::string out(reinterpret_cast<char*>(header), 512);
  out += data;
  out.append((512 - data.size() % 512) % 512, '\0');
  return out;
}

// A header edited by hand gets a fitting checksum, so that the edit itself
// is what the reader meets.
void Reseal(std::string* member) {
  std::memset(&(*member)[148], ' ', 8);
  unsigned sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += static_cast<unsigned char>((*member)[i]);
  std::snprintf(&(*member)[148], 8, "%06o", sum);
}

std::string End() { return std::string(1024, '\0'); }

std::string Crc(const std::string& data) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(TextCrc(data)));
  return text;
}

std::string Manifest(const std::string& rows) {
  std::string text = "<FILE_LIST_START>\r\n" + rows + "<FILE_LIST_END>\r\n";
  EXPECT_TRUE(InsertSignature(&text, TextCrc(text)));
  return text;
}

InspectReport Inspect(const std::string& bytes, size_t piece = 7) {
  size_t at = 0;
  return InspectResult([&](unsigned char* buffer, size_t size) -> long {
    const size_t n = std::min({size, piece, bytes.size() - at});
    std::memcpy(buffer, bytes.data() + at, n);
    at += n;
    return static_cast<long>(n);
  });
}

const std::string kLog = "Time,Type,Description\r\n";
const std::string kReg(1300, 'r');

// A result as brindle.exe makes it, including a path with a comma that the
// sweep listed a second time.
std::string GoodTar(const std::string& manifest) {
  return Member("Activity Log.csv", kLog) + Member("FileList.csv", manifest) +
         Member("sub/x.reg", kReg) + Member("a,b.txt", "c") + End();
}
std::string GoodRows() {
  return Crc(kLog) + ",Activity Log.csv,\r\n" + Crc(kReg) + ",sub\\x.reg,C:\\src\\x.reg\r\n" +
         Crc("c") + ",a,b.txt,\r\n<EXTERNAL_FILES>\r\n" + Crc("c") + ",a,b.txt,\r\n";
}

TEST(ResultInspectorTest, CleanResult) {
  const InspectReport report = Inspect(Gzip(GoodTar(Manifest(GoodRows()))));
  EXPECT_TRUE(report.clean()) << InspectVerdict(report);
  EXPECT_EQ(report.files, 4u);
  EXPECT_EQ(report.listed, 4u);
  EXPECT_EQ(InspectVerdict(report).substr(0, 15), "clean: 4 files,");
}

TEST(ResultInspectorTest, FindingsAgainstTheManifest) {
  const std::string manifest = Manifest(GoodRows() + "00000000,gone.txt,\r\n");
  // Changed data, an unlisted member and a missing file.
  const std::string tar = Member("Activity Log.csv", kLog) + Member("FileList.csv", manifest) +
                          Member("sub/x.reg", kReg + "!") + Member("a,b.txt", "c") +
                          Member("stray.bin", "s") + End();
  const InspectReport report = Inspect(Gzip(tar));
  EXPECT_TRUE(report.readable && report.signatureValid);
  EXPECT_EQ(report.missing, std::vector<std::string>{"gone.txt"});
  ASSERT_EQ(report.changedCount, 1u);
  EXPECT_EQ(report.changed[0].substr(0, 24), "sub\\x.reg (listed " + Crc(kReg).substr(0, 6));
  EXPECT_EQ(report.extra, std::vector<std::string>{"stray.bin"});
  EXPECT_FALSE(report.clean());
  EXPECT_EQ(InspectVerdict(report), "NOT CLEAN: 1 missing, 1 changed, 1 extra, 0 other problems");
}

TEST(ResultInspectorTest, ManifestSignatureAndPresence) {
  std::string tampered = Manifest(GoodRows());
  tampered[tampered.find("sub\\x.reg")] = 'S';
  InspectReport report = Inspect(Gzip(GoodTar(tampered)));
  EXPECT_TRUE(report.manifestFound);
  EXPECT_FALSE(report.signatureValid);
  EXPECT_NE(InspectVerdict(report).find("signature invalid"), std::string::npos);

  report = Inspect(Gzip(Member("a.txt", "a") + End()));
  EXPECT_TRUE(report.readable);
  EXPECT_FALSE(report.manifestFound);
  EXPECT_EQ(report.extraCount, 1u);
}

TEST(ResultInspectorTest, HostileInputIsReportedNotTrusted) {
  const std::string good = GoodTar(Manifest(GoodRows()));
  std::string badSum = good;
  badSum[0] = 'X';  // name changed, checksum not
  std::string lyingSize = Member("big", "0123");
  std::memcpy(&lyingSize[124], "77777777777", 11);
  Reseal(&lyingSize);
  std::string base256 = Member("b256", "");
  base256[124] = static_cast<char>(0x80);
  Reseal(&base256);
  std::string gz = Gzip(good);
  std::string flipped = gz;
  flipped[gz.size() / 2] ^= 0x55;
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty file", "", "empty file"},
      {"not gzip", "hello, world", "not a gzip stream"},
      {"truncated gzip", gz.substr(0, gz.size() / 2), "truncated gzip stream"},
      {"damaged gzip", flipped, ""},
      {"bad checksum", Gzip(badSum), "header checksum mismatch (header 1)"},
      {"size that lies", Gzip(lyingSize + End()), "truncated archive (member data)"},
      {"base-256 size", Gzip(base256 + End()), "bad size field (header 1)"},
      {"no end blocks", Gzip(Member("a", "a")), "archive ends without its end blocks"},
      {"half a header", Gzip(good.substr(0, 700)), "truncated archive (member data)"},
  };
  for (const Case& c : cases) {
    const InspectReport report = Inspect(c.bytes, 4096);
    EXPECT_FALSE(report.readable) << c.what;
    EXPECT_FALSE(report.clean()) << c.what;
    if (*c.error) {
      EXPECT_EQ(report.error, c.error) << c.what;
    }
    EXPECT_NE(InspectVerdict(report).find("damaged archive"), std::string::npos) << c.what;
  }
}

TEST(ResultInspectorTest, OddButReadableArchives) {
  const std::string good = GoodTar(Manifest(GoodRows()));
  // Two gzip members, and bytes after the last, as gzip(1) accepts them.
  const std::string split = Gzip(good.substr(0, 1536)) + Gzip(good.substr(1536));
  EXPECT_TRUE(Inspect(split).clean());
  EXPECT_TRUE(Inspect(Gzip(good) + std::string(10, '\0')).clean());

  const std::string sneaky = Member("FileList.csv", Manifest("")) + Member("../../etc/x", "x") +
                             Member("/abs", "y") + Member("dup", "1") + Member("dup", "2") + End();
  const InspectReport report = Inspect(Gzip(sneaky));
  EXPECT_TRUE(report.readable);
  EXPECT_EQ(report.problems,
            (std::vector<std::string>{"unsafe member name: ../../etc/x", "unsafe member name: /abs",
                                      "duplicate member: dup"}));
  EXPECT_FALSE(report.clean());
}

TEST(ResultInspectorTest, ManifestPathsMapToMemberNames) {
  EXPECT_EQ(MemberNameForManifestPath("Activity Log.csv"), "Activity Log.csv");
  EXPECT_EQ(MemberNameForManifestPath("a\\b\\c.reg"), "a/b/c.reg");
  EXPECT_EQ(MemberNameForManifestPath("d\\" + std::string(98, 'x')),
            "d/" + std::string(94, 'x') + "...");
}

}  // namespace
