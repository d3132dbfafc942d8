#pragma once
// FileList.csv: one row per file left in the result folder ("CRC,relative
// path,source path", CRC-32 as "%08X"), rows added during the run, then one
// sweep at the end that lists every file nobody listed. The rows go through
// the run's file-list LogFile, so a full disk raises the run's flags there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "collect/collector.h"
#include "pack/manifest_format.h"
#include "run/log_file.h"

// CRC-32 (zlib, from 0) of the whole file, read in 16384-byte pieces with
// the file opened without sharing. False when it cannot be opened, read or
// no buffer was had, or it has more than one name (a hard link); *crc is
// then unchanged. Windows and POSIX edges.
bool FileCrc(const std::string& path, uint32_t* crc);

class FileManifest : public ManifestRecorder {
 public:
  // Writes through `fileList` (which must outlive the manifest) the rows of
  // files below `resultFolder`.
  FileManifest(LogFile* fileList, std::string resultFolder)
      : fileList_(fileList), resultFolder_(std::move(resultFolder)) {}
  FileManifest(const FileManifest&) = delete;
  FileManifest& operator=(const FileManifest&) = delete;

  // Appends the row of resultFolder\relativePath. A file that cannot be
  // opened or read (held open by anyone, gone) gets no row and no message.
  void AddFile(const std::string& relativePath, const std::string& sourcePath) override;
  // The row of a file whose CRC the caller computed as it wrote the file.
  void AddFileWithCrc(const std::string& relativePath, const std::string& sourcePath,
                      uint32_t crc) override;

  // Writes "<EXTERNAL_FILES>", then a row with an empty source for every
  // file of the result folder that no earlier row lists (exact,
  // case-sensitive comparison), except the top-level FileList.csv itself.
  // What was listed is remembered as the rows are written, never read back
  // from the file: a path may hold commas. Folder links are not entered.
  void ListExternalFiles();

  // The CRC of the row written for the path; false when there is none.
  bool ListedCrc(const std::string& relativePath, uint32_t* crc) const;
  // A listed file rewritten under another name (or left out, "") after the
  // list was written: the list itself was rewritten to match.
  void Relist(const std::string& was, const std::string& now, uint32_t crc);

 private:
  LogFile* fileList_;
  std::string resultFolder_;
  // Paths of the rows written, with their CRCs; hashed, which keeps the
  // sweep linear.
  std::unordered_map<std::string, uint32_t> listed_;
};
