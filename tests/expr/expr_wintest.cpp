// Path variables and version logic against the real registry, environment,
// INI files and installer of the (Wine) system.

#include <windows.h>

#include <gtest/gtest.h>

#include "expr/path_resolver.h"
#include "expr/version_logic.h"
#include "support/log_entries.h"

namespace {

using testing_support::ScratchFolder;

const char kTestKey[] = "Software\\BrindleExprTest";

// A key of the test's own under HKEY_CURRENT_USER and a scratch folder
// named by %BRINDLE_EXPR_DIR%.
TEST(ExprWinTest, PathsAndConditionsUseTheRealSystem) {
  ScratchFolder folder("expr");
  testing_support::CapturedLog capture;
  HKEY handle = nullptr;
  ::RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
  ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, kTestKey, &handle), ERROR_SUCCESS);
  const auto set = [handle](const char* name, DWORD type, const void* data, size_t size) {
    ::RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data),
                     static_cast<DWORD>(size));
  };
  const DWORD count = 42;
  const std::string home = "%BRINDLE_EXPR_DIR%\\home", big(600, 'b');
  set("Home", REG_EXPAND_SZ, home.c_str(), home.size() + 1);
  set("Big", REG_SZ, big.c_str(), big.size() + 1);
  set("Answer", REG_SZ, "Yes", 4);
  set("Count", REG_DWORD, &count, sizeof count);
  ::RegCloseKey(handle);
  ::SetEnvironmentVariableA("BRINDLE_EXPR_DIR", folder.path().c_str());
  ::SetEnvironmentVariableA("BRINDLE_EXPR_LONG", std::string(300, 'x').c_str());
  ASSERT_TRUE(
      ::WritePrivateProfileStringA("Paths", "Logs", "C:\\logs", (folder / "tool.ini").c_str()));
  testing_support::WriteFile(folder / "a.txt", "x");

  PathResolver resolver(SystemPathLookups());
  EXPECT_TRUE(resolver.installerAvailable());  // Wine ships msi.dll
  const std::string bigKey = "HKEY_CURRENT_USER\\Software\\BrindleExprTest\\Big";
  const struct {
    std::string in;
    std::string out;
  } kCases[] = {
      {"[HKEY_CURRENT_USER\\Software\\BrindleExprTest\\Home]", folder.path() + "\\home"},
      {"|%BRINDLE_EXPR_DIR%\\tool.ini:Paths:Logs|", "C:\\logs"},
      {"%BRINDLE_EXPR_LONG%", std::string(300, 'x')},  // past the first buffer
      {"[" + bigKey + "]", "#" + bigKey + "#"},        // over 510 bytes
      {"{00000000-0000-0000-0000-000000000000}", "#00000000-0000-0000-0000-000000000000#"},
  };
  for (const auto& c : kCases) {
    std::string text = c.in;
    EXPECT_EQ(resolver.Resolve(&text), c.out[0] != '#') << c.in;
    EXPECT_EQ(text, c.out) << c.in;
  }

  VersionLogic logic(capture.log());
  logic.SetResolver(&resolver);
  const std::string key = std::string("HKEY_CURRENT_USER\\") + kTestKey;
  auto test = [&](const std::string& regKey, const char* name, const char* value, const char* op) {
    logic.ClearOperands();
    logic.AddOperand("RegKey", regKey);
    logic.AddOperand("RegValueName", name);
    logic.AddOperand("RegValue", value);
    return logic.Evaluate(std::string("PROCESSIF_REG_") + op);
  };
  EXPECT_TRUE(test(key, "Answer", "Yes", "IS"));
  EXPECT_TRUE(test(key, "Count", "42", "IS"));
  EXPECT_TRUE(test(key + "\\Absent", "", "", "ISNOT"));

  // File and Folder operands go through the path resolver first.
  logic.ClearOperands();
  logic.AddOperand("File", "%BRINDLE_EXPR_DIR%\\a.txt");
  logic.AddOperand("Folder", "%BRINDLE_EXPR_DIR%");
  EXPECT_TRUE(logic.Evaluate("PROCESSIF_FILE_IS"));
  EXPECT_TRUE(logic.Evaluate("PROCESSIF_FOLDER_IS"));
  logic.AddOperand("File", "%BRINDLE_EXPR_DIR%");
  EXPECT_FALSE(logic.Evaluate("PROCESSIF_FILE_IS"));
  ::RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
  ::SetEnvironmentVariableA("BRINDLE_EXPR_DIR", nullptr);
  ::SetEnvironmentVariableA("BRINDLE_EXPR_LONG", nullptr);
}

}  // namespace
