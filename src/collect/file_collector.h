#pragma once
// The FILES collector: finds the files a file specification names (one
// folder, one folder tree, or every fixed drive) and copies each into the
// action's folder below the result folder, keeping the source's drive and
// folder structure while the path stays short enough for the archive.
// FILE_VERSIONS uses the same search in ListMode.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "collect/collector.h"

enum FileCollectorMode : int32_t {
  CopyMode = 1,
  ListMode = 2,
};

// Header line of a file-version listing, written once per ListMode run.
extern const char kFileVersionListHeader[];

// The switches of a file specification.
struct FileSwitches {
  bool includeNetworkDrives = false;  // "/n"
  bool scanSubfolders = false;        // "/s"
  std::string excludedDrives;         // the letters after "/x:"
};

// Takes "/n", "/s" and "/x:LETTERS" out of *spec, in that order: the first
// occurrence of the lower-case form, else of the upper-case form; trailing
// white space is trimmed after each removal.
FileSwitches TakeFileSwitches(std::string* spec);

// "\\" + last component of the script folder + "\\" + action name; empty
// unless both are non-empty.
std::string ArchivePrefix(const std::string& scriptFolder, const std::string& actionName);

// The entries of a GetLogicalDriveStringsA buffer ("C:\\" each, zero
// terminated, an empty entry last). Stops at the empty entry, at the end of
// the buffer, and at an entry that has no terminator inside the buffer.
std::vector<std::string> SplitDriveStrings(const char* buffer, size_t size);

// "c:\\" -> "C:": trailing backslashes removed, upper case.
std::string DriveText(const std::string& entry);

// The drive types GetDriveTypeA answers.
// In their order: unknown (0), no root folder, removable, fixed, remote,
// CD-ROM, RAM disk (6).
enum DriveType : uint32_t {
  DriveUnknown,
  DriveNoRootFolder,
  DriveRemovable,
  DriveFixed,
  DriveRemote,
  DriveCdRom,
  DriveRamDisk
};

// Whether a search of all drives enters a drive of this type: fixed drives
// always, network drives only with "/n", nothing else ever.
bool DriveTypeSearched(uint32_t type, bool includeNetworkDrives);

// The full path of an entry found by enumerating folder + "\\" + mask: the
// mask's own folder part ("sub\\*.log") lies between the folder and the name.
std::string FoundEntryPath(const std::string& folder, const std::string& mask,
                           const std::string& name);

// "C:\\Windows\\setup.log" -> drive "C", rest "Windows\\setup.log", name
// "setup.log". False when the path holds no ":\\" (never copied).
bool SplitSourcePath(const std::string& path, std::string* drive, std::string* rest,
                     std::string* name);

// Whether the mirrored destination is short enough: with L = its length + 1
// + the file name's length, L - rootLength <= 99 and L <= 256.
bool MirroredDestinationFits(size_t mirroredLength, size_t nameLength, size_t rootLength);

// setup.log, 1 -> setup(1).log; .profile, 1 -> .profile(1).
std::string NumberedName(const std::string& fileName, int number);

// Where a copy goes and the name under which it is logged and listed.
struct CopyTarget {
  bool mirrored = false;
  std::string destination;  // full path
  std::string archiveName;  // relative to the result folder, no leading "\\"
};

// Copies a file, overwriting the destination; false with the system's
// error code on failure.
using FileCopier =
    std::function<bool(const std::string& from, const std::string& to, uint32_t* error)>;

// Answers whether a file or folder exists at a path.
using PathExists = std::function<bool(const std::string& path)>;

// Chooses the destination of a found file below `outputPath`: mirrored
// when it fits and is free, else flat under the file name, else the first
// free numbered name. The found path is taken with ".." and "." resolved,
// so the copy always lands inside `outputPath`. False when it has no ":\\".
bool ChooseCopyTarget(const std::string& outputPath, const std::string& workingRoot,
                      const std::string& archivePrefix, const std::string& foundPath,
                      const PathExists& exists, CopyTarget* target);

// The prefixes of `path` to create in turn, from its first ":" (else its
// first "$") on: one per "\\" after it and the whole path last. False when
// the path holds neither.
bool FolderPathPrefixes(const std::string& path, std::vector<std::string>* prefixes);

class FileCollector {
 public:
  // scriptFolder and actionName may be empty (FILE_VERSIONS gives neither).
  // Takes the switches out of the file specification, resolves its path
  // variables and writes the DEBUG entries.
  FileCollector(std::string outputPath, const RunContext& context, std::string specification,
                std::string workingRoot, const std::string& scriptFolder = std::string(),
                const std::string& actionName = std::string());
  virtual ~FileCollector() = default;
  FileCollector(const FileCollector&) = delete;
  FileCollector& operator=(const FileCollector&) = delete;

  // The whole search with the mode's per-file step. Always false; callers
  // ignore it.
  bool Run(int32_t mode);

  // The plain copy tried first for each file; by default our own loop,
  // which opens the source as CopyFileA does and takes the manifest's CRC
  // on the way. A file in use (sharing violation) is then read once more
  // with full sharing.
  void SetPlainCopy(FileCopier copier) { plainCopy_ = std::move(copier); }

  bool scanSubfolders() const { return scanSubfolders_; }
  bool scanAllDrives() const { return scanAllDrives_; }
  const std::string& archivePrefix() const { return archivePrefix_; }

 protected:
  // The ListMode per-file step: works on currentFile() and outputPath() and
  // calls CountMatch() for every file it lists. Nothing here yet.
  virtual void ListCurrentFile() {}

  const std::string& currentFile() const { return currentFile_; }
  const std::string& outputPath() const { return outputPath_; }
  const RunContext& context() const { return context_; }
  void CountMatch() { ++matchCount_; }

 private:
  void SearchAllDrives(int32_t mode);
  void SearchFolderTree(const std::string& folder, const std::string& canonicalFolder,
                        const std::string& mask, int32_t mode);
  void SearchOneFolder(int32_t mode);
  void HandleCurrentFile(int32_t mode);
  void CopyCurrentFile();
  bool CreateFolderPath(const std::string& path);
  bool IsResultFolder(const std::string& path, const std::string& canonicalPath) const;

  RunContext context_;
  std::string outputPath_;
  std::string specification_;
  std::string currentFile_;
  bool scanSubfolders_ = false;
  bool scanAllDrives_ = false;
  bool resolved_ = false;
  int matchCount_ = 0;
  // Files found but not collected: their ERROR entries stand instead of
  // "No matching files found".
  int failedCount_ = 0;
  std::string workingRoot_;
  std::string archivePrefix_;
  std::string excludedDrives_;
  bool includeNetworkDrives_ = false;
  // The working root as a full path with long names, so that the result
  // folder is recognised whatever form either side was written in.
  std::string canonicalRoot_;
  FileCopier plainCopy_;
  // The action's folder, made before the first copy.
  bool outputMade_ = false;
  // The mirrored folder made for the last file copied there.
  std::string madeFolder_;
  std::vector<unsigned char> copyBuffer_;
};

// The FILES action, as the dispatcher runs it: request.outputPath is the
// action's folder (made with its first file), scriptFolder and name give the archive
// prefix, tempFolder is never searched. Windows only (the search is in the
// Windows edge).
void FilesAction(ActionRequest& request);
