// Path variables and version logic against the real registry, environment,
// INI files and installer of the (Wine) system.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/run_settings.h"
#include "expr/path_resolver.h"
#include "expr/version_logic.h"
#include "support/log_entries.h"

namespace {

using testing_support::CapturedLog;
using testing_support::ScratchFolder;
using Entries = std::vector<std::string>;

const char kTestKey[] = "Software\\BrindleExprTest";

// A key of the test's own under HKEY_CURRENT_USER, removed afterwards.
class ExprWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestKey, &key_), ERROR_SUCCESS);
  }
  void TearDown() override {
    ::RegCloseKey(key_);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    DestroyResolver();
    Settings().Reset();
  }
  void SetString(const char* name, DWORD type, const std::string& value) {
    ASSERT_EQ(::RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
  }
  void SetDword(const char* name, DWORD value) {
    ASSERT_EQ(::RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                               sizeof value),
              ERROR_SUCCESS);
  }

  HKEY key_ = nullptr;
  CapturedLog capture;
};

TEST_F(ExprWinTest, ResolverUsesTheRealSystem) {
  ScratchFolder folder("ini");
  const std::string ini = folder / "tool.ini";
  ASSERT_TRUE(::WritePrivateProfileStringA("Paths", "Logs", "C:\\logs", ini.c_str()));
  ::SetEnvironmentVariableA("BRINDLE_EXPR_DIR", folder.path().c_str());
  ::SetEnvironmentVariableA("BRINDLE_EXPR_LONG", std::string(300, 'x').c_str());
  SetString("Home", REG_EXPAND_SZ, "%BRINDLE_EXPR_DIR%\\home");
  SetString("Big", REG_SZ, std::string(600, 'b'));
  char programFiles[MAX_PATH] = {};
  DWORD size = sizeof programFiles - 1;
  HKEY current = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_QUERY_VALUE, &current),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegQueryValueExA(current, "ProgramFilesDir", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(programFiles), &size),
            ERROR_SUCCESS);
  ::RegCloseKey(current);
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);

  PathResolver* resolver = CreateResolver();
  resolver->SetActivityLog(capture.log());
  EXPECT_TRUE(resolver->installerAvailable());  // Wine ships msi.dll
  const struct {
    std::string in;
    std::string out;
    bool ok;
  } kCases[] = {
      {"$pfiles$\\App", std::string(programFiles) + "\\App", true},
      {"$SYSVOL$", std::string(windows, 2), true},
      {"[HKEY_CURRENT_USER\\Software\\BrindleExprTest\\Home]", folder.path() + "\\home", true},
      {"|%BRINDLE_EXPR_DIR%\\tool.ini:Paths:Logs|", "C:\\logs", true},
      {"%BRINDLE_EXPR_LONG%", std::string(300, 'x'), true},
      {"[HKEY_CURRENT_USER\\Software\\BrindleExprTest\\Big]",
       "#HKEY_CURRENT_USER\\Software\\BrindleExprTest\\Big#", false},  // over 510 bytes
      {"{00000000-0000-0000-0000-000000000000}", "#00000000-0000-0000-0000-000000000000#", false},
      {"%BRINDLE_EXPR_NONE%", "#BRINDLE_EXPR_NONE#", false},
  };
  for (const auto& c : kCases) {
    std::string text = c.in;
    EXPECT_EQ(resolver->Resolve(&text), c.ok) << c.in;
    EXPECT_EQ(text, c.out) << c.in;
  }
  ::SetEnvironmentVariableA("BRINDLE_EXPR_DIR", nullptr);
  ::SetEnvironmentVariableA("BRINDLE_EXPR_LONG", nullptr);
}

TEST_F(ExprWinTest, ConditionsUseTheFactsWineReports) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(::GetVersionExA(&version));
  VersionLogic logic(capture.log());
  ASSERT_TRUE(logic.initialised());
  EXPECT_EQ(logic.kernel(), "WINNT");
  EXPECT_EQ(logic.build(), version.dwBuildNumber);
  if (version.dwMajorVersion >= 6 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1)) {
    // Later versions than 5.1 still report the last name known.
    EXPECT_EQ(logic.osName(), "WINXP");
    EXPECT_TRUE(logic.Evaluate("PROCESSIF_OSNAME_IS_WINXP"));
  }
  EXPECT_TRUE(logic.Evaluate("PROCESSIF_VERSION_ISHIGHEROREQUALTO_5.0"));
  EXPECT_TRUE(logic.Evaluate("PROCESSIF_KERNEL_ISNOT_WIN9X"));
}

TEST_F(ExprWinTest, RegistryConditionsAgainstRealKeys) {
  SetString("Answer", REG_SZ, "Yes");
  SetDword("Count", 42);
  VersionLogic logic(capture.log());
  const std::string key = std::string("HKEY_CURRENT_USER\\") + kTestKey;
  const struct {
    std::string regKey;
    const char* name;
    const char* value;
    const char* expression;
    bool result;
  } kCases[] = {
      {key, "", "", "PROCESSIF_REG_IS", true},
      {key, "Answer", "Yes", "PROCESSIF_REG_IS", true},
      {key, "Answer", "yes", "PROCESSIF_REG_IS", false},
      {key, "Count", "42", "PROCESSIF_REG_IS", true},
      {key, "Count", "41", "PROCESSIF_REG_ISNOT", true},
      {key, "Nothing", "", "PROCESSIF_REG_IS", false},
      {key + "\\Absent", "", "", "PROCESSIF_REG_ISNOT", true},
  };
  for (const auto& c : kCases) {
    logic.ClearOperands();
    logic.AddOperand("RegKey", c.regKey);
    logic.AddOperand("RegValueName", c.name);
    logic.AddOperand("RegValue", c.value);
    EXPECT_EQ(logic.Evaluate(c.expression), c.result) << c.regKey << " " << c.name << c.value;
  }
  const Entries entries = capture.Entries();
  EXPECT_NE(std::find(entries.begin(), entries.end(), "ERROR,The Nothing RegValue is not present."),
            entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(),
                      "ERROR,The " + key + "\\Absent registry key not found"),
            entries.end());
}

TEST_F(ExprWinTest, FileAndFolderOperandsAreResolved) {
  ScratchFolder folder("cond");
  testing_support::WriteFile(folder / "a.txt", "x");
  ::SetEnvironmentVariableA("BRINDLE_EXPR_DIR", folder.path().c_str());
  CreateResolver()->SetActivityLog(capture.log());
  VersionLogic logic(capture.log());
  logic.ClearOperands();
  logic.AddOperand("File", "%BRINDLE_EXPR_DIR%\\a.txt");
  EXPECT_TRUE(logic.Evaluate("PROCESSIF_FILE_IS"));
  logic.ClearOperands();
  logic.AddOperand("Folder", "%BRINDLE_EXPR_DIR%");
  EXPECT_TRUE(logic.Evaluate("PROCESSIF_FOLDER_IS"));
  logic.ClearOperands();
  logic.AddOperand("File", "%BRINDLE_EXPR_DIR%");
  EXPECT_FALSE(logic.Evaluate("PROCESSIF_FILE_IS"));
  ::SetEnvironmentVariableA("BRINDLE_EXPR_DIR", nullptr);
}

}  // namespace
