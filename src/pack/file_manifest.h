#pragma once
// FileList.csv: one row per file left in the result folder ("CRC,relative
// path,source path", CRC-32 as "%08X"), rows added during the run, then one
// sweep at the end that lists every file nobody listed. The rows go through
// the run's file-list LogFile, so a full disk raises the run's flags there.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

#include "script/log_file.h"

// "%08X,relative,source".
std::string ManifestRow(uint32_t crc, const std::string& relativePath,
                        const std::string& sourcePath);

// Reads back the rows of a manifest text: skips the first line, then takes
// each line's text between its first and second comma as a listed path,
// until a line starting with "<" or the end. Adds the paths to `listed` and
// returns the number of rows counted (lines holding a comma).
size_t ReadBackListedPaths(const std::string& text, std::unordered_set<std::string>* listed);

// The two file-system calls the manifest needs (Windows and POSIX edges).
namespace manifest_io {

// CRC-32 (zlib, from 0) of the whole file, read in 16384-byte pieces with
// the file opened without sharing. False when it cannot be opened, read or
// no buffer was had; *crc is then unchanged.
bool FileCrc(const std::string& path, uint32_t* crc);

// Calls `visit` for every entry of `folder` except "." and "..", in the
// file system's order. Paths use "\\" as separator.
void ForEachEntry(const std::string& folder,
                  const std::function<void(const std::string& name, bool isFolder)>& visit);

}  // namespace manifest_io

class FileManifest {
 public:
  // The run driver hands over its file list and result folder when the run
  // starts and takes them back at its end. Attach also forgets what an
  // earlier run read back.
  static void Attach(LogFile* fileList, const std::string& resultFolder);
  static void Detach();

  // Appends the row of resultFolder\relativePath. A file that cannot be
  // opened or read (held open by anyone, gone) gets no row and no message.
  static void AddFile(const std::string& relativePath, const std::string& sourcePath);

  // Writes "<EXTERNAL_FILES>", then a row with an empty source for every
  // file of the result folder that no earlier row lists (exact,
  // case-sensitive comparison), except the top-level FileList.csv itself.
  static void ListExternalFiles();
};
