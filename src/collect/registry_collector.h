#pragma once
// The REGISTRY collector: exports one key given by its full path, or every
// key of a given name anywhere below the five roots, to text files in the
// script's result folder. Each export goes through the system's registry
// editor ("regedit /e"); only when the editor cannot be started, or ends
// without leaving an export, does the collector walk the key itself and
// write the editor's text syntax.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collect/collector.h"
#include "expr/registry_root.h"

// "HKEY_LOCAL_MACHINE\\Software\\X" -> root "HKEY_LOCAL_MACHINE", subkey
// "Software\\X". False when the path holds no backslash (a root alone).
bool SplitKeyPath(const std::string& path, std::string* root, std::string* subkey);

// A specification names a key by its path when it starts with "HKEY_"
// exactly (case-sensitive); anything else is a key name to search for.
bool IsKeyPathSpecification(const std::string& specification);

// Where the numbered files of a name search go: "...\\Keys.txt" becomes
// base "...\\Keys" and extension ".txt" (split at the last "."; no "."
// gives an empty extension).
struct NumberedOutput {
  std::string base;
  std::string extension;
};
NumberedOutput SplitNumberedOutput(const std::string& outputPath);
// "...\\Keys(%d).txt": what the action's output path becomes.
std::string NumberedPattern(const NumberedOutput& output);
// "...\\Keys(3).txt". Built by concatenation, never by formatting the
// pattern, so a "%" in a folder or action name stays text.
std::string NumberedFileName(const NumberedOutput& output, int number);

// One command-line argument in double quotes, as the C runtime's and
// CommandLineToArgvW's rules read it back: embedded quotes escaped with a
// backslash, backslashes doubled where they precede a quote (the closing
// one included), left alone elsewhere.
std::string QuoteArgument(const std::string& argument);

// How long one registry-editor export may take.
constexpr uint64_t kEditorTimeLimitMs = 5 * 60 * 1000;

// regedit /e "FILE" "KEY", both quoted by QuoteArgument.
std::string EditorCommandLine(const std::string& fileName, const std::string& keyPath);

// The value text of the editor's syntax for raw value data:
// REG_SZ "text" (or two double quotes when empty), REG_DWORD dword:0000000A,
// REG_BINARY hex:01,02, any other type hex(N):01,02. String data ends at
// its first zero or at `length`, whichever comes first; a DWORD shorter than
// four bytes counts its missing bytes as zero.
std::string RegistryValueText(uint32_t type, const uint8_t* data, size_t length);

// "NAME"=TEXT, names as they are (no escaping); the default value has an
// empty name.
std::string RegistryValueLine(const std::string& name, const std::string& valueText);

// [PATH]
std::string RegistryKeyLine(const std::string& keyPath);

// The Win32 key handle's type; complete only in the Windows edge.
struct HKEY__;

class RegistryCollector {
 public:
  // outputPath is the dispatcher's own string: a name search rewrites it
  // into its numbered pattern. The key specification is used unchanged (and
  // kept as a copy).
  RegistryCollector(std::string& outputPath, const RunContext& context,
                    const std::string& keySpecification);
  RegistryCollector(const RegistryCollector&) = delete;
  RegistryCollector& operator=(const RegistryCollector&) = delete;

  // The whole action. Always true; the dispatcher ignores it.
  bool Run();

  // The registry editor program started for each export. By default the
  // system's own (system folder, else Windows folder), never one found
  // beside the executable or in the current folder. Tests point it at a
  // missing file to exercise the manual export.
  void SetEditorProgram(const std::string& path) { editorProgram_ = path; }
  void SetEditorTimeLimit(uint64_t milliseconds) { editorTimeLimitMs_ = milliseconds; }

 private:
  using Key = HKEY__*;
  enum WalkMode { kExport = 2, kSearch = 3 };
  enum class EditorRun { Ended, NotStarted, TimedOut, Stopped, WaitFailed };

  void ExportKeyPath(const std::string& path);
  void WalkKey(Key key, int mode, const std::string& path);
  void ExportKey(Key key, const std::string& path);
  // Recursive: registry keys nest at most 512 levels deep.
  void WriteKeyManually(Key key, const std::string& path, LogFile& writer);
  // Starts the editor and waits for it, in slices that heed the stop
  // request, up to the time limit; an editor that does not end in time is
  // ended. *error holds the system's error code when it cannot be started
  // or waited for.
  EditorRun RunEditor(const std::string& commandLine, uint32_t* error);
  bool EnumerateValue(Key key, uint32_t index, uint32_t* type, size_t* length);

  RunContext context_;
  std::string& outputPath_;
  const std::string keySpecification_;
  int dumpCount_ = 0;     // keys exported or attempted
  int writtenCount_ = 0;  // exports that left a file with something in it
  bool searchMode_ = false;
  int fileNumber_ = 0;
  NumberedOutput numbered_;
  std::string editorProgram_;
  uint64_t editorTimeLimitMs_ = kEditorTimeLimitMs;
  // Manual export buffers: grown on demand, never shrunk.
  std::vector<uint8_t> data_;
  std::vector<char> name_;
};

// The REGISTRY entry of the collector table: dumps request.value into
// request.outputPath (rewritten to the numbered pattern by a name search).
void RegistryAction(ActionRequest& request);
