#include "expr/path_resolver.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "support/log_entries.h"

namespace {

using testing_support::CapturedLog;
using Entries = std::vector<std::string>;

class FakeLookups : public PathLookups {
 public:
  bool Environment(const std::string& name, std::string* value) const override {
    const auto it = environment.find(name);
    if (it != environment.end()) *value = it->second;
    return it != environment.end();
  }
  bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
  std::string WindowsFolder() const override { return "C:\\WINDOWS"; }
  bool RegistryValue(RegistryRoot root, const std::string& key, const std::string& name,
                     size_t maxBytes, uint32_t* type, std::string* data) const override {
    const auto it = registry.find(std::to_string(root) + "|" + key + "|" + name);
    if (it == registry.end() || it->second.second.size() > maxBytes) return false;
    *type = it->second.first;
    *data = it->second.second;
    return true;
  }
  int32_t LocateComponent(const std::string& code, std::string* path) const override {
    const auto it = components.find(code);
    if (it == components.end()) return -1;
    *path = it->second.second;
    return it->second.first;
  }
  std::string IniValue(const std::string& file, const std::string& section,
                       const std::string& key) const override {
    const auto it = ini.find(file + "|" + section + "|" + key);
    return it == ini.end() ? std::string() : it->second;
  }

  std::map<std::string, std::string> environment{
      {"WINDIR", "C:\\WINDOWS\\"}, {"TEMP", "C:\\Temp"}, {"USER", "ann"}};
  std::set<std::string> files{"C:\\WINDOWS\\SYSTEM32\\MSI.DLL"};
  std::map<std::string, std::pair<uint32_t, std::string>> registry{
      {"3|Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir",
       {1, std::string("C:\\Program Files\0", 17)}}};
  std::map<std::string, std::pair<int32_t, std::string>> components;
  std::map<std::string, std::string> ini;  // "file|section|key"
};

TEST(PathResolverTest, ResolvesOrMarksEachKind) {
  FakeLookups lookups;
  lookups.environment["CFG"] = "C:\\cfg";
  lookups.environment["NAME"] = "a.ini";
  lookups.registry["2|Soft\\App|Dir"] = {2, "%TEMP%\\app"};
  lookups.registry["3|Soft|Bin"] = {3, "xx"};  // REG_BINARY
  lookups.components["{1234-AB}"] = {3, "C:\\Apps\\Tool\\tool.exe"};
  lookups.ini["C:\\cfg\\a.ini|Paths|Data"] = "D:\\data";
  // Values are used as they are, never read for references again.
  const std::string odd = "C:\\Case 100% done [x64] {1234-AB} $TOOLDIR$ |a:b:c| %TEMP%";
  lookups.environment["ODD"] = odd;
  const struct {
    std::string in;
    std::string out;
    std::string first;  // the entry before the final one, if any
  } kCases[] = {
      {"%TEMP%\\%USER%", "C:\\Temp\\ann", ""},  // second reference in the next sweep
      {"$pfiles$\\App", "C:\\Program Files\\App", ""},
      {"$TOOLDIR$\\x;$DataDir$;$ACTNAME$", "C:\\Tool\\x;C:\\Out\\~BX_TEMP\\script;Logs", ""},
      {"[hkey_current_user\\Soft\\App\\Dir]", "C:\\Temp\\app", ""},  // REG_EXPAND_SZ
      {"{1234-AB}\\*.log", "C:\\Apps\\Tool\\*.log", ""},
      {"%ODD%\\*.txt", odd + "\\*.txt", ""},
      // The inner text is resolved first, by a nested resolver; drive colon kept.
      {"|%CFG%\\%NAME%:Paths:Data|\\*.txt", "D:\\data\\*.txt",
       "INFORMATION,Path resolved to C:\\cfg\\a.ini:Paths:Data"},
      // Failures are marked and logged; the others are still resolved.
      {"%NOPE%\\%TEMP%", "#NOPE#\\C:\\Temp", "ERROR,Cannot find environment variable NOPE"},
      // A lone "%" pairs with the reference's opening one.
      {"50% of %TEMP%", "50# of #TEMP%", "ERROR,Cannot find environment variable  of "},
      {"$BOGUS$", "#BOGUS#", "ERROR,Error resolving variable BOGUS"},
      {"[HKEY_LOCAL_MACHINE\\Soft\\Bin]", "#HKEY_LOCAL_MACHINE\\Soft\\Bin#",
       "ERROR,Cannot read registry value HKEY_LOCAL_MACHINE\\Soft\\Bin"},
  };
  for (const auto& c : kCases) {
    CapturedLog log;
    PathResolver resolver(lookups);
    resolver.SetActivityLog(log.log());
    resolver.SetToolFolder("C:\\Tool");
    resolver.SetDataFolder("C:\\Out\\~BX_TEMP\\script");
    resolver.SetActionName("Logs");
    std::string text = c.in;
    const bool ok = resolver.Resolve(&text);
    EXPECT_EQ(text, c.out) << c.in;
    const bool failed = c.first.rfind("ERROR", 0) == 0;
    EXPECT_EQ(ok, !failed) << c.in;
    Entries expected;
    if (!c.first.empty()) expected.push_back(c.first);
    if (c.in != c.out) {
      expected.push_back(failed ? "ERROR,Unable to resolve path (" + c.out + ")"
                                : "INFORMATION,Path resolved to " + c.out);
    }
    EXPECT_EQ(log.Entries(), expected) << c.in;
  }
}

}  // namespace
