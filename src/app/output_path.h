#pragma once
// Where the result file goes: the string rules of the run thread's first
// step, kept apart from the Save-As dialog and the module path so that they
// can be tested anywhere.

#include <functional>
#include <string>

struct RunSettings;

// Asks the user for a result path; "" when the user cancelled.
using AskPathFn = std::function<std::string()>;

// The result path from "/outfile=" and "/case=", or from asking the user.
// Rewrites settings.outFile with the result. exeFolder has no trailing
// "\\"; askUser runs only without output file and case id, and never in a
// silent run, which then gets "" (no result path).
std::string ChooseOutputPath(RunSettings& settings, const std::string& exeFolder,
                             const AskPathFn& askUser);

// "Results.tgz" into a folder ending in "\\", or the case id put in front
// of the file name; ".tgz" appended unless it occurs anywhere already.
std::string OutputPathFromOutFile(const std::string& outFile, bool caseIdGiven,
                                  const std::string& caseId);

// The case id as part of a file name: a name, never a path or a device.
// Characters no file name may hold (\\ / : * ? " < > | and control
// characters) and a leading ".." become "_", and a device name ("con",
// "com1", ...) gets a "_" in front.
std::string CaseIdFileName(const std::string& caseId);

// The n-th name (n >= 2) for a result whose own name another live run
// holds: " (n)" before its ".tgz", or at its end without one.
std::string NumberedResultPath(const std::string& path, int n);

// The Save-As dialog's answer: ".tgz" is appended when the typed name has
// an extension other than "tgz" (so "x.zip" becomes "x.zip.tgz").
std::string SaveAsResultPath(const std::string& chosen);

// True when the file name's extension is present and is not "tgz" in any
// case; a name without extension got the default one from the dialog.
bool ExtensionDiffersFromTgz(const std::string& path);

// The file dialogs' filter syntax: "|" separates, the pair list ends in an
// empty pair. Gives the NUL-separated form the dialog reads, ending in two
// NULs whatever the text's own end looked like.
std::string FileDialogFilter(const std::string& text);
