#include <sys/stat.h>
#include <unistd.h>

#include "sys/file_system.h"
#include "sys/links.h"
#include "sys/posix_path.h"

namespace sys {

bool IsLink(const std::string& path) {
  struct stat info;
  return ::lstat(PosixPath(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

LinkCheck::LinkCheck(const std::string& folder) : folder_(folder) {}

bool LinkCheck::IsLink(const std::string& name) const { return sys::IsLink(folder_ + "\\" + name); }

// unlink removes a link itself, never its target.
RemoveOutcome RemoveFileNotThroughLink(const std::string& path) {
  return ::unlink(PosixPath(path).c_str()) == 0 ? RemoveOutcome::Removed : RemoveOutcome::Failed;
}

FolderIdentity IdentifyFolder(const std::string& path) {
  FolderIdentity identity;
  struct stat info;
  if (::lstat(PosixPath(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return identity;
  identity.volume = static_cast<uint64_t>(info.st_dev);
  identity.index = static_cast<uint64_t>(info.st_ino);
  identity.known = true;
  return identity;
}

bool SameFolder(const std::string& path, const FolderIdentity& identity) {
  const FolderIdentity now = IdentifyFolder(path);
  return identity.known && now.known && now.volume == identity.volume &&
         now.index == identity.index;
}

}  // namespace sys
