#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "collect/file_version_collector.h"
#include "script/action_dispatcher.h"
#include "support/log_entries.h"
#include "support/test_support.h"

namespace {

using testing_support::CapturedLog;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos;) {
    parts.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  if (start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

// "dd/mm/yyyy hh:mm:ss"
bool LooksLikeListTime(const std::string& text) {
  const std::string shape = "00/00/0000 00:00:00";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '0' ? !isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) {
      return false;
    }
  }
  return text != shape;
}

// This program carries the test's version resource. Started from outside
// every drive, Wine names it unix\...\x.exe, openable only with \\?\ in front.
std::string OwnProgram() {
  char path[MAX_PATH];
  const std::string name(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
  if (::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) return name;
  return "\\\\?\\" + name;
}

void SetModifiedTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                     WORD minute, WORD second) {
  SYSTEMTIME local{};
  local.wYear = year;
  local.wMonth = month;
  local.wDay = day;
  local.wHour = hour;
  local.wMinute = minute;
  local.wSecond = second;
  FILETIME localTime, utc;
  ASSERT_TRUE(::SystemTimeToFileTime(&local, &localTime));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&localTime, &utc));
  HANDLE file =
      ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &utc));
  ::CloseHandle(file);
}

// A file of `size` bytes, sparse where the file system allows.
void MakeFileOfSize(const std::string& path, long long size) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = size;
  EXPECT_TRUE(::SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  EXPECT_TRUE(::SetEndOfFile(file));
  ::CloseHandle(file);
}

class FileVersionWinTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }

  void List(const std::string& value) {
    ActionRequest request;
    request.activityLog = log_.log();
    request.name = "Versions";
    request.value = value;
    request.outputPath = csv_;
    request.tempFolder = out_.path();
    FileVersionsAction(request);
  }
  std::vector<std::string> Lines() const { return Split(ReadFile(csv_), "\r\n"); }

  CapturedLog log_;
  ScratchFolder data_{"fv"};
  ScratchFolder out_{"fvout"};
  const std::string csv_ = out_ / "Versions.csv";
};

TEST_F(FileVersionWinTest, ListsFileFactsAndTheFirstTranslationsStrings) {
  const std::string plain = data_ / "plain.txt";
  const std::string tool = data_ / "tool.exe";
  WriteFile(plain, "0123456789");
  ASSERT_TRUE(::CopyFileA(OwnProgram().c_str(), tool.c_str(), FALSE));
  SetModifiedTime(plain, 2024, 3, 5, 9, 7, 3);
  ASSERT_TRUE(::SetFileAttributesA(
      plain.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(::SetFileAttributesA(tool.c_str(), FILE_ATTRIBUTE_NORMAL));

  List(data_ / "*.*");

  EXPECT_EQ(log_.Entries(), std::vector<std::string>{"INFORMATION,Files to be listed to " + csv_});
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 3u) << ReadFile(csv_);
  EXPECT_EQ(lines[0], kFileVersionListHeader);

  // The folder lists in name order under Wine.
  const std::vector<std::string> p = Split(lines[1], ",");
  ASSERT_EQ(p.size(), 12u) << lines[1];  // the empty last field leaves no part
  EXPECT_EQ(p[0], plain);
  EXPECT_EQ(p[1], "10");
  EXPECT_TRUE(LooksLikeListTime(p[2])) << p[2];
  EXPECT_EQ(p[3], "05/03/2024 09:07:03");
  EXPECT_TRUE(LooksLikeListTime(p[4])) << p[4];
  EXPECT_EQ(p[5], "RHA");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 7), ",,,,,,,");

  const std::vector<std::string> t = Split(lines[2], ",");
  ASSERT_EQ(t.size(), 13u) << lines[2];  // the description's comma became a dot
  EXPECT_EQ(t[0], tool);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  ASSERT_TRUE(::GetFileAttributesExA(tool.c_str(), GetFileExInfoStandard, &attributes));
  EXPECT_EQ(t[1], std::to_string(attributes.nFileSizeLow));
  EXPECT_EQ(lines[2].substr(lines[2].find(",5. 1.")),
            ",5. 1. 2600. 0,5.1,Version. listing test,Brindle Tests,,,SP2");
}

TEST_F(FileVersionWinTest, SizesKeepTheLow32Bits) {
  const std::string big = data_ / "big.bin";
  MakeFileOfSize(big, 0x100000000LL + 10);
  FileFacts facts = ReadFileFacts(big);
  EXPECT_TRUE(facts.opened);
  EXPECT_EQ(facts.sizeLow, 10u);

  // The largest low part is a size like any other, not a failure.
  MakeFileOfSize(big, 0xFFFFFFFFLL);
  facts = ReadFileFacts(big);
  EXPECT_TRUE(facts.opened);
  EXPECT_EQ(facts.sizeLow, 0xFFFFFFFFu);
  ::DeleteFileA(big.c_str());
}

TEST_F(FileVersionWinTest, MissingFilesAndResources) {
  const std::string missing = data_ / "missing.dll";
  EXPECT_FALSE(ReadFileFacts(missing).opened);
  EXPECT_EQ(QueryVersionString(missing, "FileVersion"), "");
  const std::string plain = data_ / "plain.dll";
  WriteFile(plain, "MZ not really");
  EXPECT_EQ(QueryVersionString(plain, "FileVersion"), "");
  EXPECT_EQ(QueryVersionString(OwnProgram(), "Comments"), "");  // second translation only
  EXPECT_EQ(QueryVersionString(OwnProgram(), "NoSuchString"), "");
  EXPECT_EQ(QueryVersionString(OwnProgram(), "FileVersion"), "5. 1. 2600. 0");

  char system[MAX_PATH];
  ASSERT_NE(::GetSystemDirectoryA(system, MAX_PATH), 0u);
  EXPECT_NE(QueryVersionString(std::string(system) + "\\kernel32.dll", "FileVersion"), "");
}

TEST_F(FileVersionWinTest, ActionsOfOneNameShareTheFile) {
  WriteFile(data_ / "one.txt", "1");
  List(data_ / "one.txt");
  List(data_ / "*.none");
  List(data_ / "one.txt");
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 5u) << ReadFile(csv_);
  EXPECT_EQ(lines[0], kFileVersionListHeader);
  EXPECT_EQ(lines[1].substr(0, lines[1].find(',')), data_ / "one.txt");
  EXPECT_EQ(lines[2], kFileVersionListHeader);
  EXPECT_EQ(lines[3], kFileVersionListHeader);
  EXPECT_EQ(lines[4].substr(0, lines[4].find(',')), data_ / "one.txt");
  const std::string listed = "INFORMATION,Files to be listed to " + csv_;
  EXPECT_EQ(log_.Entries(), (std::vector<std::string>{
                                listed, listed, "INFORMATION,No matching files found", listed}));
}

}  // namespace
