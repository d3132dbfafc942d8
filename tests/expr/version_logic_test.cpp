#include "expr/version_logic.h"

#include <gtest/gtest.h>

#include <map>

#include "app/run_settings.h"
#include "support/log_entries.h"

namespace {

using testing_support::CapturedLog;
using Entries = std::vector<std::string>;

class FakeSystem : public VersionSystem {
 public:
  bool versionReadable = true;
  OsVersionInfo info;
  bool productReadable = false;
  std::string productType;
  // "root|subkey" -> value name -> (type, data); openErrors override.
  std::map<std::string, std::map<std::string, std::pair<uint32_t, std::string>>> keys;
  std::map<std::string, int32_t> openErrors;
  std::map<std::string, bool> paths;  // path -> is a folder

  bool ReadVersion(OsVersionInfo* out) const override {
    if (versionReadable) *out = info;
    return versionReadable;
  }
  bool ReadProductType(std::string* type) const override {
    *type = productType;
    return productReadable;
  }
  RegistryProbe ProbeRegistry(RegistryRoot root, const std::string& subkey,
                              const std::string& valueName) const override {
    RegistryProbe probe;
    const std::string name = std::to_string(root) + "|" + subkey;
    auto error = openErrors.find(name);
    auto key = keys.find(name);
    if (error != openErrors.end()) {
      probe.openError = error->second;
    } else if (key == keys.end()) {
      probe.openError = 2;
    } else if (!valueName.empty()) {
      auto value = key->second.find(valueName);
      if (value == key->second.end()) {
        probe.queryError = 2;
      } else {
        probe.type = value->second.first;
        probe.data = value->second.second;
      }
    }
    return probe;
  }
  bool PathAttributes(const std::string& path, bool* isFolder) const override {
    auto it = paths.find(path);
    if (it == paths.end()) return false;
    *isFolder = it->second;
    return true;
  }
};

OsVersionInfo Os(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build,
                 const char* servicePack) {
  OsVersionInfo info;
  info.platformId = platform;
  info.major = major;
  info.minor = minor;
  info.build = build;
  info.servicePackText = servicePack;
  return info;
}

class VersionLogicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    system.info = Os(2, 5, 1, 2600, "Service Pack 2");  // XP SP2 workstation
  }
  void TearDown() override { Settings().Reset(); }

  FakeSystem system;
  CapturedLog capture;
};

TEST_F(VersionLogicTest, OsFactsFromVersionAndProductType) {
  const struct {
    OsVersionInfo info;
    const char* product;  // null: not readable
    const char* kernel;
    const char* name;
    float version;
    uint32_t build;
    uint32_t servicePack;
    const char* type;
  } kCases[] = {
      {Os(2, 3, 51, 1057, "Service Pack 5"), nullptr, "WINNT", "WINNT351", 3.51f, 1057, 5,
       "WORKSTATION"},
      {Os(2, 3, 50, 807, ""), nullptr, "WINNT", "WINNT", 3.5f, 807, 0, "WORKSTATION"},
      {Os(2, 4, 0, 1381, "Service Pack 6a"), "LanmanNT", "WINNT", "WINNT4", 4.0f, 1381, 1,
       "ADVANCEDSERVER"},
      {Os(2, 5, 0, 2195, "Service Pack 4"), "ServerNT", "WINNT", "WIN2K", 5.0f, 2195, 4, "SERVER"},
      {Os(2, 5, 1, 2600, "Service Pack 3"), "WinNT", "WINNT", "WINXP", 5.1f, 2600, 3,
       "WORKSTATION"},
      {Os(2, 5, 2, 3790, "Service Pack 2"), "SERVERNT", "WINNT", "WINXP", 5.2f, 3790, 2, "SERVER"},
      {Os(2, 6, 1, 7601, "Service Pack 1"), "WinNT", "WINNT", "WINXP", 6.1f, 7601, 1,
       "WORKSTATION"},
      {Os(1, 4, 0, 0x04000395, " "), nullptr, "WIN9X", "WIN95", 4.0f, 0x0395, 0, "WORKSTATION"},
      {Os(1, 4, 10, 0x040A08AE, " A "), "ServerNT", "WIN9X", "WIN98", 4.1f, 0x08AE, 0,
       "WORKSTATION"},
      {Os(1, 4, 90, 0x045A0BB8, " "), nullptr, "WIN9X", "WINME", 4.9f, 0x0BB8, 0, "WORKSTATION"},
  };
  for (const auto& c : kCases) {
    system.info = c.info;
    system.productReadable = c.product != nullptr;
    system.productType = c.product != nullptr ? c.product : "";
    VersionLogic logic(nullptr, system);
    const std::string label = std::to_string(c.info.major) + "." + std::to_string(c.info.minor);
    EXPECT_TRUE(logic.initialised());
    EXPECT_EQ(logic.kernel(), c.kernel) << label;
    EXPECT_EQ(logic.osName(), c.name) << label;
    EXPECT_EQ(logic.version(), c.version) << label;
    EXPECT_EQ(logic.build(), c.build) << label;
    EXPECT_EQ(logic.servicePack(), c.servicePack) << label;
    EXPECT_EQ(logic.osType(), c.type) << label;
  }
}

TEST_F(VersionLogicTest, UnreadableVersionFailsEveryCondition) {
  system.versionReadable = false;
  VersionLogic logic(capture.log(), system);
  EXPECT_FALSE(logic.Evaluate("PROCESSIF_REG_IS"));
  EXPECT_EQ(capture.Entries(),
            (Entries{"DEBUG,Unable to obtain OS version, all version logic will fail.",
                     "ERROR,Version logic PROCESSIF_REG_IS failed - failed to initialise."}));
}

TEST_F(VersionLogicTest, Expressions) {
  const std::string exact63 = "PROCESSIF_KERNEL_IS_WINNT_" + std::string(37, 'X');
  ASSERT_EQ(exact63.size(), 63u);
  const struct {
    std::string expression;
    bool result;
    const char* error;  // null: no ERROR entry before the outcome entry
  } kCases[] = {
      {exact63, true, nullptr},  // words after the fourth are ignored
      {exact63 + "X", false, "failed - expression too long."},
      {"PROCESSIF_OSNAME", false, "failed - unable to parse expression."},
      {"XPROCESSIF_OSNAME_IS_WINXP", false, "failed - bad expression."},
      {"PROCESSIF_KERNEL_IS", false, nullptr},
      {"PROCESSIF_KERNEL_ISNOT_WIN9X", true, nullptr},
      {"PROCESSIF_OSNAME_IS_WINXP", true, nullptr},
      {"PROCESSIF_OSNAME_ISHIGHERTHAN_WIN2K", false, nullptr},
      {"PROCESSIF_OSTYPE_IS_WORKSTATION", true, nullptr},
      {"PROCESSIF_OSTYPE_ISNOT_SERVER", true, nullptr},
      {"PROCESSIF_VERSION_ISHIGHEROREQUALTO_5.0", true, nullptr},
      {"PROCESSIF_VERSION_IS_5.1", true, nullptr},
      {"PROCESSIF_VERSION_ISLOWERTHAN_5.1", false, nullptr},
      {"PROCESSIF_VERSION_ISLOWEROREQUALTO_5.1", true, nullptr},
      {"PROCESSIF_VERSION_ISHIGHERTHAN_ABC", true, nullptr},  // unreadable value reads as 0
      {"PROCESSIF_VERSION_ABOUT_5.1", false, nullptr},
      {"PROCESSIF_BUILD_IS_2600", true, nullptr},
      {"PROCESSIF_BUILD_ISHIGHERTHAN_-1", true, nullptr},  // signed comparison
      {"PROCESSIF_BUILD_ISLOWERTHAN_2600", false, nullptr},
      {"PROCESSIF_SPACK_ISHIGHEROREQUALTO_2", true, nullptr},
      {"PROCESSIF_SPACK_ISNOT_2", false, nullptr},
      {"PROCESSIF_COLOUR_IS_BLUE", false, nullptr},
      {"PROCESSIF_REG_IS", true, nullptr},  // no RegKey: the test passes
      {"PROCESSIF_REG_ISNOT", false, nullptr},
      {"PROCESSIF_FILE_MAYBE", false, " The MAYBE Operator is not valid"},
  };
  for (const auto& c : kCases) {
    CapturedLog local;
    VersionLogic logic(local.log(), system);
    EXPECT_EQ(logic.Evaluate(c.expression), c.result) << c.expression;
    Entries expected;
    const std::string subject = "Version logic " + c.expression;
    if (c.error != nullptr && c.error[0] == ' ') {
      expected.push_back(std::string("ERROR,") + c.error);
    } else if (c.error != nullptr) {
      expected.push_back("ERROR," + subject + " " + c.error);
    }
    if (c.error == nullptr || c.error[0] == ' ') {
      expected.push_back("INFORMATION," + subject +
                         (c.result ? " returned true." : " returned false."));
    }
    EXPECT_EQ(local.Entries(), expected) << c.expression;
  }
}

TEST_F(VersionLogicTest, RegistryTests) {
  const std::string key = std::to_string(RegistryRootLocalMachine) + "|Software\\Brindle";
  system.keys[key]["Enabled"] = {1, std::string("Yes\0", 4)};
  system.keys[key]["Level"] = {4, std::string("\x07\x00\x00\x00", 4)};
  system.keys[key]["Blob"] = {3, "ab"};
  system.openErrors[std::to_string(RegistryRootLocalMachine) + "|Locked"] = 5;
  const struct {
    const char* op;
    const char* regKey;
    const char* valueName;
    const char* value;
    bool result;
    const char* error;
  } kCases[] = {
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "", "", true, nullptr},
      {"IS", "hkey_local_machine\\Software\\Brindle", "Enabled", "", true, nullptr},
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Enabled", "Yes", true, nullptr},
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Enabled", "yes", false, nullptr},
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Level", "7", true, nullptr},
      {"ISNOT", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Level", "8", true, nullptr},
      {"IS", "HKLM\\Software\\Brindle", "", "", false,
       "Failed to get the Root registry key in the HKLM\\Software\\Brindle"},
      {"ISNOT", "HKEY_LOCAL_MACHINE\\Software\\Absent", "", "", true,
       "The HKEY_LOCAL_MACHINE\\Software\\Absent registry key not found"},
      {"IS", "HKEY_LOCAL_MACHINE\\Locked", "", "", false,
       "RegOpenkey Failed with the errror 0x00000005"},
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Missing", "", false,
       "The Missing RegValue is not present."},
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Blob", "ab", false,
       "The Registry value type 0x00000003 is not supported."},
      {"IS", "HKEY_LOCAL_MACHINE\\Software\\Brindle", "Blob", "", true, nullptr},
  };
  for (const auto& c : kCases) {
    CapturedLog local;
    VersionLogic logic(local.log(), system);
    logic.ClearOperands();
    EXPECT_TRUE(logic.AddOperand("RegKey", c.regKey));
    EXPECT_TRUE(logic.AddOperand("regvaluename", c.valueName));
    EXPECT_TRUE(logic.AddOperand("REGVALUE", c.value));
    const std::string expression = std::string("PROCESSIF_REG_") + c.op;
    EXPECT_EQ(logic.Evaluate(expression), c.result) << c.regKey << " " << c.valueName;
    Entries expected;
    if (c.error != nullptr) expected.push_back(std::string("ERROR,") + c.error);
    expected.push_back("INFORMATION,Version logic " + expression +
                       (c.result ? " returned true." : " returned false."));
    EXPECT_EQ(local.Entries(), expected) << c.regKey << " " << c.valueName;
  }
}

TEST_F(VersionLogicTest, UnknownOperandIsRefused) {
  VersionLogic logic(capture.log(), system);
  EXPECT_FALSE(logic.AddOperand("Colour", "blue"));
  EXPECT_EQ(capture.Entries(), Entries{"ERROR,The attribute Colour is not supported"});
}

}  // namespace
