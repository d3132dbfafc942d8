#include "pack/tar_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "pack/pack_test_util.h"

namespace {

std::string P(const std::string& text, size_t width) {
  return text + std::string(width - text.size(), '\0');
}

TEST(TarHeaderTest, EveryByteOfTheBlock) {
  const struct {
    uint64_t size;
    int64_t mtime;
    std::string sizeField;  // beyond 11 octal digits: base 256
    const char* mtimeField;
  } cases[] = {
      {0, 1700000000, "00000000000", "14524770400"},
      {511, -5, "00000000777", "00000000000"},  // before 1970: 0
      {077777777777ull, 0, "77777777777", "00000000000"},
      {077777777777ull + 1, 0, std::string("\x80\0\0\0\0\0\0\x02\0\0\0\0", 12), "00000000000"},
  };
  for (const auto& c : cases) {
    unsigned char block[512];
    std::memset(block, 0xAA, sizeof block);
    ASSERT_TRUE(BuildHeader("dir/name.txt", c.size, c.mtime, block));
    // Each field NUL-padded to its width; the checksum is filled in below.
    std::string expect = P("dir/name.txt", 100) + P("0000744", 8) + P("0000001", 8) +
                         P("0000001", 8) + P(c.sizeField, 12) + P(c.mtimeField, 12) + "        0" +
                         P("", 100) + P("ustar", 6) + "00" + P("Brindle Tool", 32) +
                         P("Vorlex", 32) + P("0000000", 8) + P("0000000", 8) + P("", 167);
    unsigned sum = 0;
    for (unsigned char ch : expect) sum += ch;
    char text[8];
    std::snprintf(text, sizeof text, "%07o", sum);
    expect.replace(148, 8, std::string(text, 8));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 512), expect) << c.size;
  }
}

std::string Field(const unsigned char* block, size_t at, size_t width) {
  return std::string(reinterpret_cast<const char*>(block) + at, width);
}

bool ChecksumHolds(const unsigned char* block) {
  unsigned sum = 8 * ' ';
  for (size_t i = 0; i < 512; ++i) sum += i >= 148 && i < 156 ? 0 : block[i];
  return std::strtoul(Field(block, 148, 7).c_str(), nullptr, 8) == sum;
}

// Names the old field cannot hold: the ustar prefix where a "/" splits them
// into at most 155 and 100 bytes (either field may be full, without NUL),
// a pax record otherwise.
TEST(TarHeaderTest, LongNames) {
  const std::string x100(100, 'x'), y155(155, 'y');
  const struct {
    std::string name, prefix, field;  // an empty prefix: pax
  } cases[] = {
      {"a/" + x100, "a", x100},
      {y155 + "/" + x100, y155, x100},
      {y155 + "/b/" + x100.substr(0, 98), y155, "b/" + x100.substr(0, 98)},
      {x100, "", ""},                          // no "/" at all
      {"a/" + x100 + "z", "", ""},             // name part of 101 bytes
      {y155 + "y/" + x100, "", ""},            // prefix of 156 bytes
      {"a/" + x100 + "/", "", ""},             // nothing after the last "/"
      {"k/" + std::string(988, 'k'), "", ""},  // 1001: its length has 4 digits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    unsigned char block[512];
    const bool whole = BuildHeader(c.name, 1, 0, block);
    EXPECT_TRUE(ChecksumHolds(block));
    if (!c.prefix.empty()) {
      EXPECT_TRUE(whole);
      EXPECT_EQ(Field(block, 345, 155), P(c.prefix, 155));
      EXPECT_EQ(Field(block, 0, 100), P(c.field, 100));
      continue;
    }
    EXPECT_FALSE(whole);
    EXPECT_EQ(Field(block, 0, 100), P(c.name.substr(0, 96) + "...", 100));

    const size_t blocks = PaxHeaderBlocks(c.name);
    std::vector<unsigned char> pax(blocks * 512, 0xAA);
    BuildPaxHeader(c.name, 0, pax.data());
    EXPECT_TRUE(ChecksumHolds(pax.data()));
    EXPECT_EQ(pax[156], 'x');
    // "LEN path=NAME\n", LEN counting the whole record, then zeros.
    const size_t length = std::strtoul(Field(pax.data(), 124, 12).c_str(), nullptr, 8);
    ASSERT_EQ(blocks, 1 + (length + 511) / 512);
    EXPECT_EQ(Field(pax.data(), 512, pax.size() - 512),
              P(std::to_string(length) + " path=" + c.name + "\n", pax.size() - 512));
  }
}

bool FakeLeadByte(unsigned char c) { return c == 0x81; }

TEST(TarMemberNameTest, Table) {
  const struct {
    std::string folder, file, member;
  } cases[] = {
      {"", "Activity Log.csv", "Activity Log.csv"},
      {"\\logs\\old", "x.log", "logs/old/x.log"},
      // The second byte of a double-byte character is no separator.
      {"\\\x81\\dir", "f", "\x81\\dir/f"},
      {"", std::string(100, 'x'), std::string(100, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TarMemberName(c.folder, c.file, FakeLeadByte), c.member) << c.folder;
  }
  EXPECT_EQ(TarMemberName("\\\x81\\dir", "f"), "\x81/dir/f");  // single-byte code page
  // A name's escapes in its pax record, at each bound of UTF-8's lengths.
  EXPECT_EQ(tar_io::Utf8Name("<U+0080><U+07FF><U+0800><U+FFFF><U+10000>"),
            "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80");
}

class TarWriterTest : public PackTest {
 protected:
  // Packs res as the packager does, then settles as after a close that `closed`.
  void Pack(TarWriter::FreeSpaceQuery freeSpace = nullptr, bool closed = true) {
    TarWriter writer(&sink_, std::move(freeSpace));
    writer.AddFolder(out_, res_);
    writer.Finish(out_);
    writer.Settle(closed);
  }

  std::string res_ = dir_ / "res", out_ = dir_ / "out.tgz";
  MemorySink sink_;
};

// Files of a folder before its subfolders, depth first, data padded to
// whole blocks, two zero blocks at the end; the folders are emptied.
TEST_F(TarWriterTest, FolderArchivedInOrderAndEmptied) {
  const std::string d(513, 'd');
  Put(res_, "top.txt", d);
  Put(res_, "a\\zero.bin", "");
  Put(res_, "a\\b\\full.bin", d.substr(0, 512));
  Put(res_, "a\\b\\c\\one.txt", "t");  // after a longer file: no stale bytes
  Pack();
  const std::string& tar = sink_.data;
  ASSERT_EQ(tar.size(), 10u * 512);
  const std::pair<size_t, std::string> blocks[] = {
      {0, P("top.txt", 8)},        {1, d.substr(0, 512)},      {2, P("d", 512)},
      {3, P("a/zero.bin", 11)},    {4, P("a/b/full.bin", 13)}, {5, d.substr(0, 512)},
      {6, P("a/b/c/one.txt", 14)}, {7, P("t", 512)},           {8, P("", 1024)}};
  for (const auto& b : blocks) EXPECT_EQ(tar.substr(b.first * 512, b.second.size()), b.second);
  EXPECT_TRUE(std::filesystem::is_empty(res_));
  EXPECT_FALSE(Settings().writeFailed);
}

// No file may be lost: whatever did not surely reach the result file stays.
// A stopped walk still ends the stream.
TEST_F(TarWriterTest, FailuresKeepTheFiles) {
  const struct {
    const char* what;
    int freeQueries;  // answered with 3000 bytes free, then 0; -1 plenty
    int failAfter;
    bool closed, stop;
    size_t blocks;
    bool flagsRaised;
  } cases[] = {
      {"no room at all", 0, -1, true, false, 0, true},
      {"no room mid member", 3, -1, true, false, 3, true},  // header and two data blocks
      {"stream fails", -1, 3, true, false, 3, true},
      {"close fails", -1, -1, false, false, 15, false},  // the packager raises the flags
      {"stop requested", -1, -1, true, true, 2, false},  // the end blocks only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Settings().Reset();
    Settings().stopRequested = c.stop;
    sink_ = MemorySink();
    sink_.failAfter = c.failAfter;
    const std::string big = Put(res_, "big.bin", std::string(5000, 'b'));
    const std::string small = Put(res_, "sub\\b.txt", "b");
    int queries = 0;
    Pack(
        [&](const std::string&) {
          return c.freeQueries < 0 ? 4000000000u : ++queries <= c.freeQueries ? 3u : 0u;
        },
        c.closed);
    EXPECT_EQ(sink_.data.size(), c.blocks * 512);
    EXPECT_EQ(Settings().writeFailed && Settings().stopRequested, c.flagsRaised);
    EXPECT_EQ(ReadFile(big), std::string(5000, 'b'));
    EXPECT_EQ(ReadFile(small), "b");
  }
}

}  // namespace
