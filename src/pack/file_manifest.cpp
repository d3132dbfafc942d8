#include "pack/file_manifest.h"

#include "run/text.h"
#include "sys/folder_walk.h"

void FileManifest::AddFile(const std::string& relativePath, const std::string& sourcePath) {
  if (fileList_ == nullptr) return;
  uint32_t crc = 0;
  // An unreadable file has no check value; rather no row than a made-up one.
  if (!FileCrc(resultFolder_ + "\\" + relativePath, &crc)) return;
  AddFileWithCrc(relativePath, sourcePath, crc);
}

void FileManifest::AddFileWithCrc(const std::string& relativePath, const std::string& sourcePath,
                                  uint32_t crc) {
  if (fileList_ == nullptr) return;
  if (fileList_->AppendLine(ManifestRow(crc, relativePath, sourcePath)))
    listed_[relativePath] = crc;
}

bool FileManifest::ListedCrc(const std::string& relativePath, uint32_t* crc) const {
  const auto row = listed_.find(relativePath);
  if (row == listed_.end()) return false;
  *crc = row->second;
  return true;
}

void FileManifest::Relist(const std::string& was, const std::string& now, uint32_t crc) {
  listed_.erase(was);
  if (!now.empty()) listed_[now] = crc;
}

void FileManifest::ListExternalFiles() {
  if (fileList_ == nullptr) return;
  fileList_->AppendLine(kExternalFilesMarker);
  // Nothing listed means the manifest itself could not be written; a sweep
  // would only add rows that cannot be written either.
  if (listed_.empty()) return;
  sys::TreeVisitor visitor;
  // A listed file is not listed again, whatever it has become: no need to
  // ask whether it is a link.
  visitor.passOver = [this](const std::string& relative) { return listed_.count(relative) != 0; };
  visitor.file = [this](const std::string&, const std::string& relative) {
    // Only the top-level manifest: a relative path with a folder part
    // never equals the bare name.
    if (EqualsNoCase(relative, kFileListName)) return;
    AddFile(relative, "");
  };
  sys::WalkTree(resultFolder_, "*.*", visitor);
}
