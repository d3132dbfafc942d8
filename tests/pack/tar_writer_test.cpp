#include "pack/tar_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/run_settings.h"
#include "pack/tar_test_util.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

std::string Field(const unsigned char* block, size_t at, size_t width) {
  return std::string(reinterpret_cast<const char*>(block) + at, width);
}

unsigned HeaderSum(const unsigned char* block) {
  unsigned sum = 8 * ' ';
  for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 0 : block[i];
  return sum;
}

TEST(TarHeaderTest, FieldsByteExact) {
  struct Case {
    size_t nameLength;
    uint64_t size;
    const char* sizeField;
  };
  const Case cases[] = {
      {99, 0, "00000000000"},  {100, 1, "00000000001"},  {101, 511, "00000000777"},
      {1, 512, "00000001000"}, {50, 513, "00000001001"}, {99, 077777777777ull, "77777777777"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nameLength);
    const std::string name(c.nameLength, 'n');
    unsigned char block[512];
    std::memset(block, 0xAA, sizeof block);
    ASSERT_TRUE(BuildHeader(TarMemberName("", name), c.size, 1700000000, block));
    const std::string storedName = c.nameLength <= 99 ? name : std::string(96, 'n') + "...";
    EXPECT_EQ(Field(block, 0, 100), storedName + std::string(100 - storedName.size(), '\0'));
    EXPECT_EQ(Field(block, 100, 8), std::string("0000744\0", 8));
    EXPECT_EQ(Field(block, 108, 8), std::string("0000001\0", 8));
    EXPECT_EQ(Field(block, 116, 8), std::string("0000001\0", 8));
    EXPECT_EQ(Field(block, 124, 12), std::string(c.sizeField) + '\0');
    EXPECT_EQ(Field(block, 136, 12), std::string("14524770400\0", 12));
    char sum[8];
    std::snprintf(sum, sizeof sum, "%07o", HeaderSum(block));
    EXPECT_EQ(Field(block, 148, 8), std::string(sum) + '\0');
    EXPECT_EQ(block[156], '0');
    EXPECT_EQ(Field(block, 157, 100), std::string(100, '\0'));
    EXPECT_EQ(Field(block, 257, 8), std::string("ustar\0"
                                                "00",
                                                8));
    EXPECT_EQ(Field(block, 265, 32), "Brindle Tool" + std::string(20, '\0'));
    EXPECT_EQ(Field(block, 297, 32), "Vorlex" + std::string(26, '\0'));
    EXPECT_EQ(Field(block, 329, 16), std::string("0000000\0"
                                                 "0000000\0",
                                                 16));
    EXPECT_EQ(Field(block, 345, 167), std::string(167, '\0'));
  }
}

TEST(TarHeaderTest, ChecksumAgreesWithPythonTarfile) {
  unsigned char block[512];
  ASSERT_TRUE(BuildHeader(std::string(99, 'a'), 513, 012345670123, block));
  // Python leaves devmajor/devminor empty: its sum 034205 plus 14 '0' digits.
  EXPECT_EQ(034205 + 14 * '0', 035445);
  EXPECT_EQ(Field(block, 148, 8), std::string("0035445\0", 8));
}

TEST(TarHeaderTest, OutOfRangeNumbers) {
  unsigned char block[512];
  EXPECT_FALSE(BuildHeader("big", 077777777777ull + 1, 0, block));
  ASSERT_TRUE(BuildHeader("old", 0, -5, block));
  EXPECT_EQ(Field(block, 136, 12), std::string(11, '0') + '\0');
  ASSERT_TRUE(BuildHeader("far", 0, int64_t{1} << 40, block));
  EXPECT_EQ(Field(block, 136, 12), std::string(11, '7') + '\0');
}

bool FakeLeadByte(unsigned char c) { return c == 0x81; }

TEST(TarMemberNameTest, Table) {
  struct Case {
    std::string folder;
    std::string file;
    std::string member;
  };
  const Case cases[] = {
      {"", "Activity Log.csv", "Activity Log.csv"},
      {"\\logs\\old", "x.log", "logs/old/x.log"},
      {"\\\\\\a", "b", "a/b"},
      {"logs", "x.log", "logs/x.log"},
      // The second byte of a double-byte character is no separator.
      {"\\\x81\\dir", "f", "\x81\\dir/f"},
      {"\\d", std::string(98, 'x'), "d/" + std::string(94, 'x') + "..."},
      {"\\d", std::string(97, 'x'), "d/" + std::string(97, 'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TarMemberName(c.folder, c.file, FakeLeadByte), c.member) << c.folder;
  }
  EXPECT_EQ(TarMemberName("\\\x81\\dir", "f"), "\x81/dir/f");  // single-byte code page
}

#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

class TarWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }
  std::string Put(const std::string& relative, const std::string& data) {
    std::string path = dir_.path() + kSep;
    for (char c : relative) path += c == '\\' ? kSep : c;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, data);
    return path;
  }
  std::string Out() const { return dir_.path() + kSep + "out.tgz"; }
  // The member names and sizes of a tar stream, checking the data layout.
  static std::vector<std::pair<std::string, size_t>> Members(const std::string& tar) {
    std::vector<std::pair<std::string, size_t>> members;
    size_t at = 0;
    while (at + 512 <= tar.size() && tar[at] != 0) {
      const size_t size = std::strtoul(tar.substr(at + 124, 11).c_str(), nullptr, 8);
      members.emplace_back(tar.substr(at, tar.find('\0', at) - at), size);
      at += 512 + (size + 511) / 512 * 512;
    }
    EXPECT_EQ(tar.size(), at + 1024) << "two zero blocks end the stream";
    EXPECT_EQ(tar.substr(at), std::string(1024, '\0'));
    return members;
  }

  ScratchFolder dir_{"tar"};
  MemorySink sink_;
};

TEST_F(TarWriterTest, EmptyStreamIsTwoZeroBlocks) {
  TarWriter writer(&sink_);
  writer.Finish(Out());
  EXPECT_EQ(sink_.data, std::string(1024, '\0'));
  EXPECT_EQ(sink_.writes, 2);
}

TEST_F(TarWriterTest, FolderArchivedInOrderAndEmptied) {
  const std::string data(513, 'd');
  Put("res\\top.txt", data.substr(0, 1));
  Put("res\\sub\\zero.bin", "");
  Put("res\\sub\\deep\\full.bin", data.substr(0, 512));
  Put("res\\sub\\deep\\over.bin", data);
  Put("res\\sub\\odd.bin", data.substr(0, 511));
  const std::string res = dir_.path() + kSep + "res";
  TarWriter writer(&sink_);
  writer.AddFolder(Out(), res, "*.*", true, "");
  writer.Finish(Out());
  // Files stay until the stream is known to be complete.
  EXPECT_TRUE(FileExists(res + kSep + "top.txt"));
  writer.Settle(true);

  auto members = Members(sink_.data);
  ASSERT_EQ(members.size(), 5u);
  EXPECT_EQ(members[0], std::make_pair(std::string("top.txt"), size_t{1}));
  // Files of a folder before its subfolders; within a folder any order.
  std::sort(members.begin() + 1, members.begin() + 3);
  std::sort(members.begin() + 3, members.end());
  EXPECT_EQ(members[1], std::make_pair(std::string("sub/odd.bin"), size_t{511}));
  EXPECT_EQ(members[2], std::make_pair(std::string("sub/zero.bin"), size_t{0}));
  EXPECT_EQ(members[3], std::make_pair(std::string("sub/deep/full.bin"), size_t{512}));
  EXPECT_EQ(members[4], std::make_pair(std::string("sub/deep/over.bin"), size_t{513}));
  EXPECT_EQ(sink_.writes * 512, static_cast<int>(sink_.data.size()));
  // 513 bytes: one full block, then one byte and 511 zeros.
  const size_t over = sink_.data.find("sub/deep/over.bin");
  EXPECT_EQ(sink_.data.substr(over + 1024, 512), std::string(1, 'd') + std::string(511, '\0'));

  EXPECT_TRUE(FileExists(res));
  EXPECT_TRUE(std::filesystem::is_empty(res));
  EXPECT_FALSE(Settings().writeFailed);
}

TEST_F(TarWriterTest, MaskSelectsFilesAndStopEndsTheWalk) {
  Put("res\\a.log", "a");
  Put("res\\b.txt", "b");
  const std::string res = dir_.path() + kSep + "res";
  TarWriter writer(&sink_);
  writer.AddFolder(Out(), res, "*.log", false, "");
  writer.Finish(Out());
  writer.Settle(true);
  ASSERT_EQ(Members(sink_.data).size(), 1u);
  EXPECT_FALSE(FileExists(res + kSep + "a.log"));
  EXPECT_TRUE(FileExists(res + kSep + "b.txt"));

  Settings().stopRequested = true;
  MemorySink after;
  TarWriter stopped(&after);
  stopped.AddFolder(Out(), res, "*.*", true, "");
  EXPECT_TRUE(after.data.empty());
  EXPECT_TRUE(FileExists(res + kSep + "b.txt"));
}

TEST_F(TarWriterTest, NoRoomMidMemberKeepsTheFile) {
  Put("res\\big.bin", std::string(5000, 'b'));
  const std::string res = dir_.path() + kSep + "res";
  int queries = 0;
  // 3000 bytes free: the header and a few blocks fit, then the drive is full.
  TarWriter writer(&sink_, [&](const std::string&) { return ++queries < 4 ? 3u : 0u; });
  writer.AddFolder(Out(), res, "*.*", true, "");
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_TRUE(Settings().stopRequested);
  writer.Finish(Out());
  writer.Settle(true);
  EXPECT_EQ(sink_.writes, 3);  // header and two data blocks, no end blocks
  EXPECT_EQ(ReadFile(res + kSep + "big.bin"), std::string(5000, 'b'));
}

TEST_F(TarWriterTest, NoRoomBeforeAnyMemberWritesNothing) {
  Put("res\\a.txt", "a");
  const std::string res = dir_.path() + kSep + "res";
  TarWriter writer(&sink_, [](const std::string&) { return 0u; });
  writer.AddFolder(Out(), res, "*.*", true, "");
  writer.Settle(true);
  EXPECT_TRUE(sink_.data.empty());
  EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested);
  EXPECT_TRUE(FileExists(res + kSep + "a.txt"));
}

TEST_F(TarWriterTest, FailedStreamKeepsEverythingNotFlushed) {
  Put("res\\a.txt", "a");
  Put("res\\sub\\b.txt", "b");
  const std::string res = dir_.path() + kSep + "res";
  sink_.FailAfter(3);
  TarWriter writer(&sink_);
  writer.AddFolder(Out(), res, "*.*", true, "");
  writer.Finish(Out());
  writer.Settle(false);  // as when closing the stream failed
  EXPECT_TRUE(Settings().writeFailed && Settings().stopRequested);
  EXPECT_TRUE(FileExists(res + kSep + "a.txt"));
  EXPECT_TRUE(FileExists(res + kSep + "sub" + kSep + "b.txt"));
}

TEST_F(TarWriterTest, FreeSpaceAskedRarelyWhenThereIsRoom) {
  for (int i = 0; i < 300; ++i) Put("res\\f" + std::to_string(i), std::string(20000, 'x'));
  const std::string res = dir_.path() + kSep + "res";
  TarWriter writer(&sink_, [](const std::string&) { return 4000000000u; });
  writer.AddFolder(Out(), res, "*.*", true, "");
  writer.Finish(Out());
  writer.Settle(true);
  EXPECT_LE(writer.freeSpaceQueries(), 2u);  // 6 MB of tar: one query, one re-check
  EXPECT_GE(sink_.flushes, 1);
  EXPECT_TRUE(std::filesystem::is_empty(res));
}

#ifndef _WIN32
// GNU tar agrees with the layout (skipped where tar is missing).
TEST_F(TarWriterTest, GnuTarListsTheStream) {
  if (std::system("tar --version >/dev/null 2>&1") != 0) GTEST_SKIP();
  Put("res\\a b.txt", "hello");
  Put("res\\logs\\old\\x.log", std::string(1500, 'l'));
  const std::string res = dir_.path() + kSep + "res";
  TarWriter writer(&sink_);
  writer.AddFolder(Out(), res, "*.*", true, "");
  writer.Finish(Out());
  const std::string tarPath = dir_.path() + "/out.tar";
  WriteFile(tarPath, sink_.data);
  const std::string listing = dir_.path() + "/list.txt";
  ASSERT_EQ(std::system(("tar -tvf '" + tarPath + "' > '" + listing + "'").c_str()), 0);
  const std::string text = ReadFile(listing);
  EXPECT_NE(text.find("Brindle Tool/Vorlex 5 "), std::string::npos) << text;
  EXPECT_NE(text.find("-rwxr--r--"), std::string::npos) << text;
  EXPECT_NE(text.find("1500 "), std::string::npos) << text;
  EXPECT_NE(text.find("logs/old/x.log"), std::string::npos) << text;
}
#endif

}  // namespace
