#include "expr/version_logic.h"

#include <gtest/gtest.h>

#include "support/fake_version_system.h"
#include "support/log_entries.h"

namespace {

using testing_support::CapturedLog;
using Entries = std::vector<std::string>;

TEST(VersionLogicTest, OsFactsFromVersionAndProductType) {
  const struct {
    OsVersionInfo info;
    const char* product;
    const char* facts;  // kernel, name, version, build, service pack, type
  } kCases[] = {
      {{3, 51, 1057, 2, "Service Pack 5"}, "", "WINNT WINNT351 3.51 1057 5 WORKSTATION"},
      {{4, 0, 1381, 2, "Service Pack 6a"}, "LanmanNT", "WINNT WINNT4 4 1381 1 ADVANCEDSERVER"},
      {{5, 0, 2195, 2, "Service Pack 9"}, "ServerNT", "WINNT WIN2K 5 2195 9 SERVER"},
      // The WIN9X family keeps the low 16 bits of the build; 4.10 reads as 4.1.
      {{4, 10, 0x040A08AE, 1, " A "}, "ServerNT", "WIN9X WIN98 4.1 2222 0 WORKSTATION"},
  };
  for (const auto& c : kCases) {
    testing_support::FakeVersionSystem system;
    system.info = c.info;
    system.productType = c.product;
    const VersionLogic logic(nullptr, system);
    EXPECT_EQ(logic.kernel() + " " + logic.osName() +
                  Format(" %g %u %u ", logic.version(), logic.build(), logic.servicePack()) +
                  logic.osType(),
              c.facts);
  }
}

// What a checking tool says of a condition before any run.
TEST(VersionLogicTest, ConditionProblems) {
  const struct {
    const char* expression;
    const char* problem;
  } kCases[] = {
      {"PROCESSIF_VERSION_IS_5.1.2", "condition value '5.1.2' is not a version"},
      {"PROCESSIF_BUILD_IS_26.0", "condition value '26.0' is not a number"},
      {"PROCESSIF_OSNAME_ISHIGHERTHAN_WIN2K",
       "operator 'ISHIGHERTHAN' does not apply to OSNAME, which knows IS and ISNOT"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ConditionProblem(c.expression), c.problem);
}

TEST(VersionLogicTest, ConditionsOnAnXpWorkstation) {
  testing_support::FakeVersionSystem system;
  const std::string k = std::to_string(RegistryRootLocalMachine) + "|Software\\Brindle|";
  system.probes[k] = {};
  system.probes[k + "Enabled"] = {0, 0, 1, 0, std::string("Yes\0", 4)};
  system.probes[k + "Level"] = {0, 0, 4, 0, std::string("\x07\x00\x00\x00", 4)};
  system.probes[k + "Blob"] = {0, 0, 3, 0, "ab"};
  system.probes[k + "Missing"] = {0, 2, 0, 0, ""};
  system.probes[k + "Denied"] = {0, 0, 1, 5, ""};
  system.probes[std::to_string(RegistryRootLocalMachine) + "|Locked|"] = {5, 0, 0, 0, ""};
  const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Brindle";
  const std::string exact63 = "PROCESSIF_KERNEL_IS_WINNT_" + std::string(37, 'X');
  const std::string tooLong = "Version logic " + exact63 + "X failed - expression too long.";
  const struct {
    std::string expression;
    std::string regKey;
    const char* valueName;
    const char* value;
    bool result;
    std::string error;  // "Version logic" errors replace the outcome entry
  } kCases[] = {
      {exact63, "", "", "", true, ""},  // words after the fourth are ignored
      {exact63 + "X", "", "", "", false, tooLong},
      {"PROCESSIF_OSNAME", "", "", "", false,
       "Version logic PROCESSIF_OSNAME failed - unable to parse expression."},
      {"PROCESSIF_OSNAME_ISHIGHERTHAN_WIN2K", "", "", "", false, ""},  // only IS and ISNOT
      {"PROCESSIF_VERSION_ISLOWERTHAN_5.1", "", "", "", false, ""},
      {"PROCESSIF_VERSION_ISLOWEROREQUALTO_5.1", "", "", "", true, ""},
      {"PROCESSIF_VERSION_ISHIGHERTHAN_ABC", "", "", "", true, ""},  // unreadable: 0
      {"PROCESSIF_BUILD_ISHIGHERTHAN_-3000", "", "", "", true, ""},  // signed, wrapped
      {"PROCESSIF_SPACK_ISHIGHEROREQUALTO_2", "", "", "", true, ""},
      // Registry tests; without a RegKey the test passes.
      {"PROCESSIF_REG_IS", "", "", "", true, ""},
      {"PROCESSIF_REG_IS", key, "Enabled", "Yes", true, ""},
      {"PROCESSIF_REG_IS", key, "Enabled", "yes", false, ""},
      {"PROCESSIF_REG_IS", key, "Level", "7", true, ""},
      {"PROCESSIF_REG_IS", "hkey_local_machine\\Software\\Brindle", "Blob", "", true, ""},
      {"PROCESSIF_REG_IS", "HKLM\\Software\\Brindle", "", "", false,
       "Failed to get the Root registry key in the HKLM\\Software\\Brindle"},
      {"PROCESSIF_REG_ISNOT", "HKEY_LOCAL_MACHINE\\Software\\Absent", "", "", true,
       "The HKEY_LOCAL_MACHINE\\Software\\Absent registry key not found"},
      {"PROCESSIF_REG_IS", "HKEY_LOCAL_MACHINE\\Locked", "", "", false,
       "RegOpenkey Failed with the errror 0x00000005"},
      {"PROCESSIF_REG_IS", key, "Missing", "", false, "The Missing RegValue is not present."},
      {"PROCESSIF_REG_IS", key, "Blob", "ab", false,
       "The Registry value type 0x00000003 is not supported."},
      {"PROCESSIF_REG_IS", key, "Denied", "x", false,
       "RegQueryValueEx Failed with the errror 0x00000005"},
      {"PROCESSIF_REG_MAYBE", key, "", "", false, " The MAYBE Operator is not valid"},
  };
  for (const auto& c : kCases) {
    CapturedLog capture;
    VersionLogic logic(capture.log(), system);
    EXPECT_TRUE(logic.AddOperand("RegKey", c.regKey));
    EXPECT_TRUE(logic.AddOperand("regvaluename", c.valueName));
    EXPECT_TRUE(logic.AddOperand("REGVALUE", c.value));
    EXPECT_EQ(logic.Evaluate(c.expression), c.result) << c.expression << " " << c.valueName;
    Entries expected;
    if (!c.error.empty()) expected.push_back("ERROR," + c.error);
    if (c.error.rfind("Version logic", 0) != 0) {
      expected.push_back("INFORMATION,Version logic " + c.expression +
                         (c.result ? " returned true." : " returned false."));
    }
    EXPECT_EQ(capture.Entries(), expected) << c.expression << " " << c.valueName;
  }

  CapturedLog capture;
  system.versionReadable = false;
  VersionLogic uninitialised(capture.log(), system);
  EXPECT_FALSE(uninitialised.Evaluate("PROCESSIF_REG_IS"));
  EXPECT_EQ(capture.Entries(),
            (Entries{"DEBUG,Unable to obtain OS version, all version logic will fail.",
                     "ERROR,Version logic PROCESSIF_REG_IS failed - failed to initialise."}));
}

}  // namespace
