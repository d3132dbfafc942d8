#pragma once
// References inside script values, expanded in place: "%ENV%", "$NAMED$",
// "[ROOT\key\value]", "{component code}" and "|file:section:key|". The
// scanning is portable; what a reference stands for comes from PathLookups,
// which the Windows edge (path_resolver_win.cpp) answers with the real
// environment, registry, installer and INI files, and tests with fakes.

#include <cstdint>
#include <string>
#include <vector>

#include "expr/registry_root.h"
#include "run/log_file.h"

// What the system answers. Every call is read-only.
class PathLookups {
 public:
  virtual ~PathLookups() = default;
  // The variable's whole value (however long); false when it does not exist.
  virtual bool Environment(const std::string& name, std::string* value) const = 0;
  virtual bool FileExists(const std::string& path) const = 0;
  // GetWindowsDirectoryA.
  virtual std::string WindowsFolder() const = 0;
  // Opens root\key for reading and reads the value into at most
  // `maxBytes` bytes. False when the key cannot be opened or the value
  // cannot be read (missing, larger than maxBytes); *type and *data hold
  // the value's type and raw bytes on success.
  virtual bool RegistryValue(RegistryRoot root, const std::string& key,
                             const std::string& valueName, size_t maxBytes, uint32_t* type,
                             std::string* data) const = 0;
  // MsiLocateComponentA for "{code}": returns the installer state (3 is
  // installed locally, -1 unknown) and, with it, the key file's path.
  virtual int32_t LocateComponent(const std::string& bracedCode, std::string* path) const = 0;
  // GetPrivateProfileStringA with an empty default; "" when missing.
  virtual std::string IniValue(const std::string& file, const std::string& section,
                               const std::string& key) const = 0;
};

// The lookups of the system this program runs on (Windows: the real ones;
// elsewhere: environment and files only, everything else missing).
const PathLookups& SystemPathLookups();

// A reference in a script value that can never resolve on any machine: one
// that does not end, a named variable that is none of the five, a registry
// reference without a known root, or "%%", after which the resolver looks
// at no further environment reference. `offset` is where it begins in the
// text. Environment variables, registry keys and the like are the machine's
// business and are not judged. For tools that check scripts.
struct ReferenceProblem {
  size_t offset = 0;
  std::string message;
};
std::vector<ReferenceProblem> FindReferenceProblems(const std::string& text);

class PathResolver {
 public:
  // Reads whether the installer library is present ("%WINDIR%\SYSTEM\MSI.DLL"
  // or "%WINDIR%\SYSTEM32\MSI.DLL"). `lookups` must outlive the resolver.
  explicit PathResolver(const PathLookups& lookups);

  // Receives this resolver's entries, and those of the nested resolution of
  // INI references. May be null (nothing is written then).
  void SetActivityLog(ActivityLog* log) { activityLog_ = log; }
  void SetToolFolder(const std::string& folder) { toolFolder_ = folder; }  // $TOOLDIR$
  void SetDataFolder(const std::string& folder) { dataFolder_ = folder; }  // $DATADIR$
  void SetActionName(const std::string& name) { actionName_ = name; }      // $ACTNAME$

  // Expands every reference in *text. Returns true when none failed.
  // When the text held at least one reference, *text receives the result,
  // failed references marked as "#inner#", and the log one INFORMATION
  // "Path resolved to %s" or ERROR "Unable to resolve path (%s)" entry
  // (plus one ERROR per failed reference). A text without references is
  // left alone, with true and no entry.
  //
  // What a reference stands for is used as it is: a "%", "[" or "$" in a
  // folder name or a value is never taken for a reference. Only a
  // REG_EXPAND_SZ value has its own "%" references expanded, and $PFILES$
  // stands for a registry reference that is then read.
  //
  // Sweeps repeat while they find references, at most kMaxRounds of them
  // (nested INI resolutions included) and while the text stays within
  // kMaxLength characters; past either bound the resolution stops with an
  // ERROR and false, the text as far as it got.
  bool Resolve(std::string* text);

  bool installerAvailable() const { return installerAvailable_; }
  const std::string& actionName() const { return actionName_; }

  static constexpr int kMaxRounds = 256;
  static constexpr size_t kMaxLength = 32767;
  // INI references resolve their inner text with a nested resolver; a value
  // that keeps bringing back INI references stops at this depth.
  static constexpr int kMaxNesting = 4;

 private:
  enum class Step { None, Changed };
  struct Reference {
    size_t start = 0;  // position of the opening delimiter
    size_t end = 0;    // position of the closing delimiter
    std::string inner;
  };

  // `literal` marks the characters of `*text` that are no delimiters.
  bool Resolve(std::string* text, std::vector<bool> literal);
  size_t FindDelimiter(char c, size_t from) const;
  bool FindReference(char open, char close, Reference* ref) const;
  void Replace(const Reference& ref, const std::string& value, bool literal = true);
  std::string ExpandEnvironmentIn(std::string value);
  void Fail(const Reference& ref, const std::string& entry);
  void Log(int32_t severity, const std::string& message);

  bool SweepEnvironment();
  bool SweepNamed();
  bool SweepRegistry();
  bool SweepComponent();
  bool SweepIni();

  const PathLookups& lookups_;
  ActivityLog* activityLog_ = nullptr;
  bool installerAvailable_ = false;
  bool resolved_ = true;
  int nesting_ = 0;
  int* sharedRounds_ = nullptr;  // rounds left to the whole resolution, nested ones included
  std::string actionName_;
  std::string toolFolder_;
  std::string dataFolder_;
  std::string work_;
  std::vector<bool> literal_;  // one mark per character of work_
};
