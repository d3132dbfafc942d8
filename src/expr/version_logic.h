#pragma once
// Conditions of a script: an element named like PROCESSIF_OSNAME_IS_WINXP
// runs its content only when the expression holds. The OS facts are read
// once, through VersionSystem (version_logic_win.cpp on Windows); parsing
// and comparison are portable and tested over given facts.

#include <cstdint>
#include <string>

#include "expr/path_resolver.h"
#include "run/log_file.h"

// What GetVersionExA reports (the basic structure).
struct OsVersionInfo {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platformId = 0;  // 2: the NT family
  std::string servicePackText;
};

// The answers of one registry test, as far as it got: each stage runs only
// when the one before succeeded.
struct RegistryProbe {
  int32_t openError = 0;   // RegOpenKeyA: 0, 2 not found, or another code
  int32_t queryError = 0;  // type and size of the value (only with a value name)
  uint32_t type = 0;
  int32_t readError = 0;  // the data, read only for REG_DWORD and REG_SZ
  std::string data;
};

class VersionSystem {
 public:
  virtual ~VersionSystem() = default;
  virtual bool ReadVersion(OsVersionInfo* info) const = 0;
  // HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions "ProductType";
  // false when the key or the value cannot be read.
  virtual bool ReadProductType(std::string* type) const = 0;
  virtual RegistryProbe ProbeRegistry(RegistryRoot root, const std::string& subkey,
                                      const std::string& valueName) const = 0;
  // False when nothing exists at the path.
  virtual bool PathAttributes(const std::string& path, bool* isFolder) const = 0;
};

// The facts of the system this program runs on.
const VersionSystem& SystemVersionFacts();

// Why a condition element's name can never test what its author meant, or
// "" when it reads as a test Evaluate knows: a word it does not know, an
// operator the test has no use for, a value no system reports. Takes the
// name as Evaluate does, upper-cased. For tools that check scripts.
std::string ConditionProblem(const std::string& expression);

// Whether a condition element's attribute is one of its operands (any case).
bool IsConditionOperand(const std::string& name);

class VersionLogic {
 public:
  // Reads the OS facts. `system` must outlive the object.
  explicit VersionLogic(ActivityLog* log, const VersionSystem& system = SystemVersionFacts());

  // The run's resolver, which expands File and Folder operands; without
  // one they are taken as written.
  void SetResolver(PathResolver* resolver) { resolver_ = resolver; }

  void ClearOperands();
  // RegKey, RegValueName, RegValue, File or Folder (any case); File and
  // Folder are expanded by the resolver. Any other name is reported and
  // ignored (false).
  bool AddOperand(const std::string& name, const std::string& value);
  // `expression` is the condition element's name, upper-cased.
  bool Evaluate(const std::string& expression);

  bool initialised() const { return initialised_; }
  const std::string& kernel() const { return kernel_; }
  const std::string& osName() const { return osName_; }
  float version() const { return version_; }
  uint32_t build() const { return build_; }
  uint32_t servicePack() const { return servicePack_; }
  const std::string& osType() const { return osType_; }

 private:
  bool RegistryTest();
  void Log(int32_t severity, const std::string& message);

  ActivityLog* log_;
  const VersionSystem& system_;
  PathResolver* resolver_ = nullptr;
  bool initialised_ = false;
  std::string kernel_;
  std::string osName_;
  float version_ = 0;
  uint32_t build_ = 0;
  uint32_t servicePack_ = 0;
  std::string osType_;
  std::string regKey_, regValueName_, regValue_, file_, folder_;
};
