#include "sys/links.h"

#include "sys/file_system.h"

namespace sys {

bool SameFolder(const std::string& path, const FolderIdentity& identity) {
  const FolderIdentity now = IdentifyFolder(path);
  return identity.known && now.known && now.volume == identity.volume &&
         now.index == identity.index;
}

std::string WorkingNameFor(const std::string& finalPath) { return finalPath + ".partial"; }

}  // namespace sys
