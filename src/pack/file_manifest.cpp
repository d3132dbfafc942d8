#include "pack/file_manifest.h"

#include "run/text.h"
#include "sys/file_system.h"
#include "sys/folder_walk.h"

size_t ReadBackListedPaths(const std::string& text, std::unordered_set<std::string>* listed) {
  size_t start = text.find('\n');
  if (start == std::string::npos) return 0;
  ++start;  // past the "<FILE_LIST_START>" line
  size_t rows = 0;
  for (;;) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const size_t comma = text.find(',', start);
    if (comma < end) {
      size_t second = text.find(',', comma + 1);
      if (second > end) second = end;
      listed->insert(text.substr(comma + 1, second - comma - 1));
      ++rows;
    }
    const size_t newline = text.find('\n', start);
    if (newline == std::string::npos) break;
    start = newline + 1;
    if (start < text.size() && text[start] == '<') break;
  }
  return rows;
}

void FileManifest::AddFile(const std::string& relativePath, const std::string& sourcePath) {
  if (fileList_ == nullptr) return;
  uint32_t crc = 0;
  // An unreadable file has no check value; rather no row than a made-up one.
  if (!FileCrc(resultFolder_ + "\\" + relativePath, &crc)) return;
  fileList_->AppendLine(ManifestRow(crc, relativePath, sourcePath));
}

void FileManifest::ListExternalFiles() {
  if (fileList_ == nullptr) return;
  fileList_->AppendLine(kExternalFilesMarker);
  std::string text;
  if (!sys::ReadWholeFile(fileList_->path(), &text) || text.empty()) return;
  listedRows_ += ReadBackListedPaths(text, &listed_);
  text.clear();
  text.shrink_to_fit();
  // Nothing listed means the manifest itself could not be written; a sweep
  // would only add rows that cannot be written either.
  if (listedRows_ == 0) return;
  sys::TreeVisitor visitor;
  visitor.file = [this](const std::string&, const std::string& relative) {
    if (listed_.count(relative) != 0) return;
    // Only the top-level manifest: a relative path with a folder part
    // never equals the bare name.
    if (EqualsNoCase(relative, kFileListName)) return;
    AddFile(relative, "");
  };
  sys::WalkTree(resultFolder_, "*.*", visitor);
}
