#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "collect/registry_collector.h"
#include "script/action_dispatcher.h"
#include "support/log_entries.h"
#include "support/test_support.h"

namespace {

using testing_support::CapturedLog;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;

// Removes a key and everything below it (RegDeleteTree is newer than the
// systems we build for).
void DeleteTree(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char name[256];
  for (;;) {
    DWORD size = sizeof name;
    if (::RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    DeleteTree(key, name);
  }
  ::RegCloseKey(key);
  ::RegDeleteKeyA(parent, path.c_str());
}

HKEY CreateKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr))
      << path;
  return key;
}

void SetValue(HKEY key, const std::string& name, DWORD type, const std::string& data) {
  EXPECT_EQ(ERROR_SUCCESS,
            ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())))
      << name;
}

// The registry editor writes UTF-16LE; the tests use ASCII only.
std::string Narrow(const std::string& utf16) {
  std::string text;
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) text.push_back(utf16[i]);
  return text;
}

class RegistryCollectorWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    // Other test programs share the prefix: keep the keys of this process apart.
    const std::string tag = std::to_string(::GetCurrentProcessId());
    testRoot_ = "Software\\BrindleRegistryTest" + tag;
    probe_ = "BrindleProbe" + tag;
    caseKey_ = testRoot_ + "\\Case";
    casePath_ = "HKEY_CURRENT_USER\\" + caseKey_;
  }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, testRoot_);
    DeleteTree(HKEY_LOCAL_MACHINE, testRoot_);
    Settings().Reset();
  }

  std::vector<std::string> Entries() const { return log_.Entries(); }

  ScratchFolder scratch_{"reg"};
  CapturedLog log_;
  std::string testRoot_, probe_, caseKey_, casePath_;
};

// Values and subkeys are made in alphabetical order, which is the order both
// Windows (insertion order) and Wine (sorted) enumerate them in.
TEST_F(RegistryCollectorWinTest, ManualExportWritesTheEditorSyntaxExactly) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, caseKey_);
  SetValue(key, "", REG_SZ, std::string("abc\0", 4));
  SetValue(key, "Blob", REG_BINARY, "");
  SetValue(key, "Count", REG_DWORD, std::string("\x0A\0\0\0", 4));
  SetValue(key, "Empty", REG_SZ, "");
  SetValue(key, "Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
  SetValue(key, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  SetValue(key, "None", REG_NONE, "\x01\x02");
  SetValue(key, "Quoted", REG_SZ, std::string("say \"hi\" C:\\\0", 13));
  ::RegCloseKey(key);
  key = CreateKey(HKEY_CURRENT_USER, caseKey_ + "\\A");
  SetValue(key, "x", REG_DWORD, std::string("\x01\0\0\0", 4));
  ::RegCloseKey(key);
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, caseKey_ + "\\A\\Deep"));
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, caseKey_ + "\\B"));
  // Larger than both buffers start out.
  const std::string longName(300, 'N');
  const std::string large(20000, '\x5A');
  key = CreateKey(HKEY_CURRENT_USER, caseKey_ + "\\Big");
  SetValue(key, "Large", REG_BINARY, large);
  SetValue(key, longName, REG_DWORD, std::string("\xEF\xBE\xAD\xDE", 4));
  ::RegCloseKey(key);

  std::string output = scratch_ / "Keys.txt";
  RegistryCollector collector(output, *log_.log(), casePath_);
  collector.SetEditorProgram(scratch_ / "missing\\editor.exe");
  EXPECT_TRUE(collector.Run());

  std::string largeText = "hex:5A";
  for (size_t i = 1; i < large.size(); ++i) largeText += ",5A";
  const std::string& p = casePath_;
  const std::string expected = "[" + p + "]\r\n" +
                               "\"\"=\"abc\"\r\n"
                               "\"Blob\"=hex:\r\n"
                               "\"Count\"=dword:0000000A\r\n"
                               "\"Empty\"=\"\"\r\n"
                               "\"Expand\"=hex(2):25,54,45,4D,50,25,5C,78,00\r\n"
                               "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                               "\"None\"=hex(0):01,02\r\n"
                               "\"Quoted\"=\"say \"hi\" C:\\\"\r\n"
                               "\r\n"
                               "[" +
                               p +
                               "\\A]\r\n"
                               "\"x\"=dword:00000001\r\n"
                               "\r\n"
                               "[" +
                               p +
                               "\\A\\Deep]\r\n"
                               "\r\n"
                               "[" +
                               p +
                               "\\B]\r\n"
                               "\r\n"
                               "[" +
                               p +
                               "\\Big]\r\n"
                               "\"Large\"=" +
                               largeText +
                               "\r\n"
                               "\"" +
                               longName +
                               "\"=dword:DEADBEEF\r\n"
                               "\r\n";
  EXPECT_EQ(expected, ReadFile(output));
  // The key and its four subkeys.
  EXPECT_EQ(6, collector.dumpCount());

  const std::vector<std::string> entries = {
      "INFORMATION,Dumping registry [" + p + "]",
      "INFORMATION,Executing the command \"regedit /e \"" + output + "\" \"" + p + "\"\"",
      "ERROR,Failed to dump the registry [" + p + "] ",
      "ERROR,The GetLastError returned 3",
      "INFORMATION,Trying to dump manually......",
      "INFORMATION,Registry chunk dumped to " + output,
  };
  EXPECT_EQ(entries, Entries());
}

// The dispatcher's entry with the system's registry editor.
TEST_F(RegistryCollectorWinTest, KeyPathIsExportedByTheRegistryEditor) {
  HKEY key = CreateKey(HKEY_CURRENT_USER, caseKey_);
  SetValue(key, "Count", REG_DWORD, std::string("\x0A\0\0\0", 4));
  ::RegCloseKey(key);
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, caseKey_ + "\\Sub"));

  ActionRequest request;
  request.activityLog = log_.log();
  request.value = casePath_;
  request.outputPath = scratch_ / "Keys.txt";
  const std::string output = request.outputPath;
  RegistryAction(request);

  EXPECT_EQ(output, request.outputPath);
  const std::vector<std::string> entries = {
      "INFORMATION,Dumping registry [" + casePath_ + "]",
      "INFORMATION,Executing the command \"regedit /e \"" + output + "\" \"" + casePath_ + "\"\"",
      "INFORMATION,Registry chunk dumped to " + output,
  };
  EXPECT_EQ(entries, Entries());
  const std::string data = ReadFile(output);
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ("\xFF\xFE", data.substr(0, 2));
  const std::string text = Narrow(data.substr(2));
  EXPECT_EQ(0u, text.find("Windows Registry Editor Version 5.00\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\r\n[" + casePath_ + "]\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\r\n[" + casePath_ + "\\Sub]\r\n")) << text;
  // The editor's own syntax writes lower-case digits.
  EXPECT_NE(std::string::npos, text.find("\"Count\"=dword:0000000a")) << text;
}

TEST_F(RegistryCollectorWinTest, PathsThatNameNoKeyExportNothing) {
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, caseKey_));
  const std::string specifications[] = {
      "HKEY_CURRENT_USER",            // a root alone
      "HKEY_SOMEWHERE\\" + caseKey_,  // no such root
      "HKEY_CURRENT_USER\\" + testRoot_ + "\\Missing",
  };
  for (const std::string& specification : specifications) {
    CapturedLog log;
    std::string output = scratch_ / "Keys.txt";
    RegistryCollector collector(output, *log.log(), specification);
    collector.Run();
    EXPECT_EQ(std::vector<std::string>{"INFORMATION,No matching keys found"}, log.Entries())
        << specification;
    EXPECT_EQ(scratch_ / "Keys.txt", output);
    EXPECT_FALSE(FileExists(output)) << specification;
  }
  // Root names are matched in any case; only the "HKEY_" prefix decides the mode.
  std::string output = scratch_ / "Keys.txt";
  RegistryCollector collector(output, *log_.log(), "HKEY_current_user\\" + caseKey_);
  collector.SetEditorProgram(scratch_ / "missing.exe");
  collector.Run();
  EXPECT_EQ("[HKEY_current_user\\" + caseKey_ + "]\r\n\r\n", ReadFile(output));
}

// One walk of the whole registry: every key of exactly the searched name is
// exported to its own numbered file, and nothing below a match is searched.
TEST_F(RegistryCollectorWinTest, NameSearchExportsEveryMatchToItsOwnFile) {
  const std::string one = testRoot_ + "\\One\\" + probe_;
  const std::string two = testRoot_ + "\\Two\\" + probe_;
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, one + "\\" + probe_));  // below a match
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, two));
  ::RegCloseKey(CreateKey(HKEY_LOCAL_MACHINE, testRoot_ + "\\" + probe_));
  std::string lower = probe_;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  ::RegCloseKey(CreateKey(HKEY_CURRENT_USER, testRoot_ + "\\Three\\" + lower));

  // A "%" in the output folder must stay text in the numbered names.
  const std::string folder = scratch_ / "100%s%n";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  std::string output = folder + "\\Keys.txt";
  RegistryCollector collector(output, *log_.log(), probe_);
  collector.Run();
  EXPECT_EQ(folder + "\\Keys(%d).txt", output);

  std::vector<std::string> found;
  for (const std::string& entry : Entries()) {
    const std::string prefix = "DEBUG,Found matching key at ";
    if (entry.compare(0, prefix.size(), prefix) == 0) found.push_back(entry.substr(prefix.size()));
  }
  // The current user's keys are also seen below HKEY_USERS, under its SID.
  std::set<std::string> expected = {"HKEY_CURRENT_USER\\" + one, "HKEY_CURRENT_USER\\" + two,
                                    "HKEY_LOCAL_MACHINE\\" + testRoot_ + "\\" + probe_};
  std::set<std::string> seen;
  for (const std::string& path : found) {
    if (path.compare(0, 11, "HKEY_USERS\\") == 0) {
      const size_t sid = path.find('\\', 11);
      ASSERT_NE(std::string::npos, sid) << path;
      expected.insert(path);
      EXPECT_TRUE(path.substr(sid + 1) == one || path.substr(sid + 1) == two) << path;
    }
    seen.insert(path);
  }
  EXPECT_EQ(expected, seen);
  ASSERT_EQ(5u, found.size());

  // File k holds the k-th key found.
  for (size_t k = 0; k < found.size(); ++k) {
    const std::string file = folder + "\\Keys(" + std::to_string(k + 1) + ").txt";
    const std::string text = Narrow(ReadFile(file));
    EXPECT_NE(std::string::npos, text.find("\r\n[" + found[k] + "]\r\n")) << file;
  }
  EXPECT_FALSE(FileExists(folder + "\\Keys(6).txt"));
  const std::vector<std::string> tail = {"INFORMATION,Registry chunk(s) dumped to " + folder +
                                         "\\Keys(%d).txt"};
  const std::vector<std::string> entries = Entries();
  EXPECT_EQ(tail, std::vector<std::string>(entries.end() - 1, entries.end()));
}

// A specification that starts with "hkey_" in lower case is a name to search
// for; nothing has that name.
TEST_F(RegistryCollectorWinTest, LowerCasePrefixIsSearchedForAsAName) {
  std::string output = scratch_ / "Keys.txt";
  RegistryCollector collector(output, *log_.log(), "hkey_current_user\\Software");
  collector.Run();
  EXPECT_EQ(scratch_ / "Keys(%d).txt", output);
  EXPECT_EQ(std::vector<std::string>{"INFORMATION,No matching keys found"}, Entries());
}

}  // namespace
