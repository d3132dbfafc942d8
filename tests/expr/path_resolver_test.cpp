#include "expr/path_resolver.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "app/run_settings.h"
#include "support/log_entries.h"

namespace {

using testing_support::CapturedLog;
using Entries = std::vector<std::string>;

const char kPfiles[] =
    "HKEY_LOCAL_MACHINE|Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir";

class FakeLookups : public PathLookups {
 public:
  std::map<std::string, std::string> environment;
  std::set<std::string> files;
  // "ROOTNAME|key|value" -> (type, bytes)
  std::map<std::string, std::pair<uint32_t, std::string>> registry;
  std::map<std::string, std::pair<int32_t, std::string>> components;
  std::map<std::tuple<std::string, std::string, std::string>, std::string> ini;
  mutable std::vector<std::tuple<std::string, std::string, std::string>> iniAsked;

  bool Environment(const std::string& name, std::string* value) const override {
    auto it = environment.find(name);
    if (it == environment.end()) return false;
    *value = it->second;
    return true;
  }
  bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
  std::string WindowsFolder() const override { return "C:\\WINDOWS"; }
  bool RegistryValue(RegistryRoot root, const std::string& key, const std::string& name,
                     size_t maxBytes, uint32_t* type, std::string* data) const override {
    static const char* kNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                                   "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    auto it = registry.find(std::string(kNames[root]) + "|" + key + "|" + name);
    if (it == registry.end() || it->second.second.size() > maxBytes) return false;
    *type = it->second.first;
    *data = it->second.second;
    return true;
  }
  int32_t LocateComponent(const std::string& code, std::string* path) const override {
    auto it = components.find(code);
    if (it == components.end()) return -1;
    *path = it->second.second;
    return it->second.first;
  }
  std::string IniValue(const std::string& file, const std::string& section,
                       const std::string& key) const override {
    iniAsked.emplace_back(file, section, key);
    auto it = ini.find(std::make_tuple(file, section, key));
    return it == ini.end() ? std::string() : it->second;
  }
};

class PathResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    lookups.environment = {{"WINDIR", "C:\\WINDOWS\\"}, {"TEMP", "C:\\Temp"}, {"USER", "ann"}};
    lookups.files = {"C:\\WINDOWS\\SYSTEM32\\MSI.DLL"};
    lookups.registry[kPfiles] = {1, std::string("C:\\Program Files\0", 17)};
  }
  void TearDown() override { Settings().Reset(); }

  // Resolves with a fresh resolver; returns the text and fills ok/entries.
  std::string Run(std::string text, bool* ok = nullptr) {
    PathResolver resolver(lookups);
    resolver.SetActivityLog(capture.log());
    resolver.SetToolFolder("C:\\Tool");
    resolver.SetDataFolder("C:\\Out\\~BX_TEMP\\script");
    resolver.SetActionName("Logs");
    const bool result = resolver.Resolve(&text);
    if (ok != nullptr) *ok = result;
    return text;
  }

  FakeLookups lookups;
  CapturedLog capture;
};

TEST_F(PathResolverTest, ResolvesEachKind) {
  lookups.registry["HKEY_CURRENT_USER|Soft\\App|Dir"] = {2, "%TEMP%\\app"};
  lookups.components["{1234-AB}"] = {3, "C:\\Apps\\Tool\\tool.exe"};
  lookups.ini[std::make_tuple("C:\\cfg\\app.ini", "Paths", "Data")] = "D:\\data";
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {
      {"%TEMP%\\x.log", "C:\\Temp\\x.log"},
      {"%TEMP%\\%USER%", "C:\\Temp\\ann"},  // second reference in the next round
      {"$pfiles$\\App", "C:\\Program Files\\App"},
      {"$SYSVOL$\\boot.ini", "C:\\boot.ini"},
      {"$TOOLDIR$\\x;$DataDir$;$ACTNAME$", "C:\\Tool\\x;C:\\Out\\~BX_TEMP\\script;Logs"},
      {"[hkey_current_user\\Soft\\App\\Dir]", "C:\\Temp\\app"},  // REG_EXPAND_SZ
      {"{1234-AB}\\*.log", "C:\\Apps\\Tool\\*.log"},
      {"|C:\\cfg\\app.ini:Paths:Data|\\*.txt", "D:\\data\\*.txt"},
  };
  for (const auto& c : kCases) {
    bool ok = false;
    EXPECT_EQ(Run(c.in, &ok), c.out) << c.in;
    EXPECT_TRUE(ok) << c.in;
  }
  EXPECT_EQ(capture.Entries().back(), "INFORMATION,Path resolved to D:\\data\\*.txt");
}

TEST_F(PathResolverTest, TextWithoutReferenceIsLeftAloneSilently) {
  bool ok = false;
  for (const char* text : {"C:\\plain\\path.txt", "100%% sure", "a%%b%TEMP%", "", "$", "[]"}) {
    EXPECT_EQ(Run(text, &ok), text);
    EXPECT_TRUE(ok);
  }
  EXPECT_EQ(capture.Entries(), Entries{});
}

TEST_F(PathResolverTest, FailuresAreMarkedAndLogged) {
  lookups.registry["HKEY_LOCAL_MACHINE|Soft|Bin"] = {3, "xx"};  // REG_BINARY
  lookups.components["{0000-UNK}"] = {2, "C:\\absent\\x.dll"};  // not installed locally
  lookups.components["{EMPTY}"] = {3, ""};
  const struct {
    const char* in;
    const char* out;
    Entries entries;
  } kCases[] = {
      {"%NOPE%\\x",
       "#NOPE#\\x",
       {"ERROR,Cannot find environment variable NOPE", "ERROR,Unable to resolve path (#NOPE#\\x)"}},
      // A lone "%" pairs with the reference's opening one.
      {"50% of %TEMP%",
       "50# of #TEMP%",
       {"ERROR,Cannot find environment variable  of ",
        "ERROR,Unable to resolve path (50# of #TEMP%)"}},
      {"$BOGUS$",
       "#BOGUS#",
       {"ERROR,Error resolving variable BOGUS", "ERROR,Unable to resolve path (#BOGUS#)"}},
      {"[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir]",
       "#HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir#",
       {"ERROR,Cannot read registry value "
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
        "ERROR,Unable to resolve path "
        "(#HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir#)"}},
      {"[HKEY_LOCAL_MACHINE\\Soft\\Bin]",
       "#HKEY_LOCAL_MACHINE\\Soft\\Bin#",
       {"ERROR,Cannot read registry value HKEY_LOCAL_MACHINE\\Soft\\Bin",
        "ERROR,Unable to resolve path (#HKEY_LOCAL_MACHINE\\Soft\\Bin#)"}},
      {"{0000-UNK}",
       "#0000-UNK#",
       {"ERROR,Cannot find component 0000-UNK", "ERROR,Unable to resolve path (#0000-UNK#)"}},
      {"{EMPTY}",
       "#EMPTY#",
       {"ERROR,Missing component path", "ERROR,Unable to resolve path (#EMPTY#)"}},
      {"|C:\\none.ini:S:K|",
       "#C:\\none.ini:S:K#",
       {"ERROR,Cannot read INI value C:\\none.ini:S:K",
        "ERROR,Unable to resolve path (#C:\\none.ini:S:K#)"}},
      {"|nocolon|",
       "#nocolon#",
       {"ERROR,Cannot read INI value nocolon", "ERROR,Unable to resolve path (#nocolon#)"}},
      // One failure does not stop the others.
      {"%NOPE%\\%TEMP%",
       "#NOPE#\\C:\\Temp",
       {"ERROR,Cannot find environment variable NOPE",
        "ERROR,Unable to resolve path (#NOPE#\\C:\\Temp)"}},
  };
  for (const auto& c : kCases) {
    CapturedLog local;
    PathResolver resolver(lookups);
    resolver.SetActivityLog(local.log());
    std::string text = c.in;
    EXPECT_FALSE(resolver.Resolve(&text)) << c.in;
    EXPECT_EQ(text, c.out);
    EXPECT_EQ(local.Entries(), c.entries) << c.in;
  }
}

TEST_F(PathResolverTest, InstallerPresenceDecidesComponentLookups) {
  EXPECT_TRUE(PathResolver(lookups).installerAvailable());  // SYSTEM32, trailing "\\" dropped
  lookups.files = {"C:\\WINDOWS\\SYSTEM\\MSI.DLL"};
  EXPECT_TRUE(PathResolver(lookups).installerAvailable());
  lookups.files.clear();
  lookups.components["{1234-AB}"] = {3, "C:\\Apps\\tool.exe"};
  bool ok = true;
  EXPECT_EQ(Run("{1234-AB}", &ok), "#1234-AB#");
  EXPECT_FALSE(ok);
  EXPECT_EQ(capture.Entries()[0], "ERROR,Cannot find Microsoft Intaller");
}

TEST_F(PathResolverTest, IniReferenceResolvesItsInnerTextFirst) {
  // The outer sweep takes the first "%" reference; the nested resolver the
  // second, before the file is read.
  lookups.environment["CFG"] = "C:\\cfg";
  lookups.environment["NAME"] = "a.ini";
  lookups.ini[std::make_tuple("C:\\cfg\\a.ini", "S", "K")] = "V";
  bool ok = false;
  EXPECT_EQ(Run("|%CFG%\\%NAME%:S:K|", &ok), "V");
  EXPECT_TRUE(ok);
  // The nested resolution reports to the same log, before the outer entry.
  EXPECT_EQ(capture.Entries(), (Entries{"INFORMATION,Path resolved to C:\\cfg\\a.ini:S:K",
                                        "INFORMATION,Path resolved to V"}));
}

TEST_F(PathResolverTest, LongEnvironmentValueGoesInWhole) {
  const std::string longValue = "C:\\" + std::string(400, 'd');
  lookups.environment["LONG"] = longValue;
  bool ok = false;
  EXPECT_EQ(Run("%LONG%\\f", &ok), longValue + "\\f");
  EXPECT_TRUE(ok);
}

TEST_F(PathResolverTest, ResolutionThatNeverSettlesEnds) {
  const struct {
    const char* value;
  } kLoops[] = {{"%LOOP%"}, {"x%LOOP%"}, {"%LOOP%%LOOP%"}, {"|%LOOP%:a:b|"}};
  for (const auto& loop : kLoops) {
    lookups.environment["LOOP"] = loop.value;
    CapturedLog local;
    PathResolver resolver(lookups);
    resolver.SetActivityLog(local.log());
    std::string text = "%LOOP%";
    EXPECT_FALSE(resolver.Resolve(&text)) << loop.value;
    EXPECT_LE(text.size(), PathResolver::kMaxLength + 2 * PathResolver::kMaxLength);
    const Entries entries = local.Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().rfind("ERROR,Unable to resolve path (", 0), 0u) << loop.value;
  }
}

}  // namespace
