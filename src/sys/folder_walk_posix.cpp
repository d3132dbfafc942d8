#include <dirent.h>
#include <errno.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "sys/folder_walk.h"
#include "sys/posix_path.h"

namespace sys {

unsigned long ForEachEntry(
    const std::string& folder, const std::string& mask,
    const std::function<void(const std::string& name, EntryKind kind)>& visit,
    const std::function<bool(const std::string& name)>& passOver, bool) {
  if (folder.empty()) return 0;
  const std::string native = PosixPath(folder);
  // "*.*" means every name on Windows, also names without a dot.
  const bool all = mask == "*.*" || mask == "*";
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return static_cast<unsigned long>(errno);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!all && ::fnmatch(mask.c_str(), name.c_str(), 0) != 0) continue;
    const std::string path = native + "/" + name;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) continue;
    EntryKind kind = S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::File;
    if (S_ISLNK(info.st_mode)) {
      struct stat target;
      const bool toFolder = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
      kind = toFolder ? EntryKind::FolderLink : EntryKind::FileLink;
    }
    if (kind == EntryKind::File && passOver && passOver(name)) continue;
    visit(name, kind);
  }
  ::closedir(dir);
  return 0;
}

bool IsFolderLink(const std::string& path) {
  const std::string native = PosixPath(path);
  struct stat info;
  struct stat target;
  return ::lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
         ::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

}  // namespace sys
