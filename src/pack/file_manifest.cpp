#include "pack/file_manifest.h"

#include <cstdio>

namespace {

struct ManifestState {
  LogFile* fileList = nullptr;
  std::string resultFolder;
  // Paths read back from the manifest; a hash set keeps the sweep linear.
  std::unordered_set<std::string> listed;
  size_t listedRows = 0;
};

ManifestState& State() {
  static ManifestState state;
  return state;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "\\" + name;
}

// Files of a folder before its subfolders, subfolders depth first. Depth is
// bounded by the path length the file system allows.
void Sweep(const std::string& folder, const std::string& relativeFolder) {
  ManifestState& state = State();
  manifest_io::ForEachEntry(folder, [&](const std::string& name, bool isFolder) {
    if (isFolder) return;
    const std::string relative = Join(relativeFolder, name);
    if (state.listed.count(relative) != 0) return;
    // Only the top-level manifest: a relative path with a folder part
    // never equals the bare name.
    if (EqualsNoCase(relative, "FileList.csv")) return;
    FileManifest::AddFile(relative, "");
  });
  manifest_io::ForEachEntry(folder, [&](const std::string& name, bool isFolder) {
    if (isFolder) Sweep(folder + "\\" + name, Join(relativeFolder, name));
  });
}

}  // namespace

std::string ManifestRow(uint32_t crc, const std::string& relativePath,
                        const std::string& sourcePath) {
  char crcText[9];
  std::snprintf(crcText, sizeof crcText, "%08X", static_cast<unsigned>(crc));
  std::string row = crcText;
  row.reserve(row.size() + relativePath.size() + sourcePath.size() + 2);
  row += ',';
  row += relativePath;
  row += ',';
  row += sourcePath;
  return row;
}

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

void FileManifest::Attach(LogFile* fileList, const std::string& resultFolder) {
  ManifestState& state = State();
  state.fileList = fileList;
  state.resultFolder = resultFolder;
  state.listed.clear();
  state.listedRows = 0;
}

void FileManifest::Detach() { Attach(nullptr, std::string()); }

void FileManifest::AddFile(const std::string& relativePath, const std::string& sourcePath) {
  ManifestState& state = State();
  if (state.fileList == nullptr) return;
  uint32_t crc = 0;
  // An unreadable file has no check value; rather no row than a made-up one.
  if (!manifest_io::FileCrc(state.resultFolder + "\\" + relativePath, &crc)) return;
  state.fileList->AppendLine(ManifestRow(crc, relativePath, sourcePath));
}

void FileManifest::ListExternalFiles() {
  ManifestState& state = State();
  if (state.fileList == nullptr) return;
  state.fileList->AppendLine("<EXTERNAL_FILES>");
  std::string text;
  if (!sys::ReadWholeFile(state.fileList->path(), &text) || text.empty()) return;
  state.listedRows += ReadBackListedPaths(text, &state.listed);
  text.clear();
  text.shrink_to_fit();
  // Nothing listed means the manifest itself could not be written; a sweep
  // would only add rows that cannot be written either.
  if (state.listedRows == 0) return;
  Sweep(state.resultFolder, std::string());
}
