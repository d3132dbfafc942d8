#include "sys/folder_walk.h"
#include "sys/handles_win.h"
#include "sys/links.h"

#include <memory>

namespace sys {

unsigned long ForEachEntry(
    const std::string& folder, const std::string& mask,
    const std::function<void(const std::string& name, EntryKind kind)>& visit,
    const std::function<bool(const std::string& name)>& passOver, bool askNames) {
  // "\\*.*" alone would list the current drive's root.
  if (folder.empty()) return 0;
  FileFind find;
  if (!find.First(folder + "\\" + mask)) {
    // A path over MAX_PATH gives 206 (or 3): the folder is there but the
    // functions cannot reach it without the "\\\\?\\" form.
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 0 : error;
  }
  std::unique_ptr<LinkCheck> links;  // made at the first file: it costs a call
  do {
    if (find.isDots()) continue;
    const bool reparse = find.isLink();
    EntryKind kind = EntryKind::File;
    if (find.isFolder()) {
      kind = reparse ? EntryKind::FolderLink : EntryKind::Folder;
    } else {
      if (!reparse && passOver && passOver(find.name())) continue;
      if (!reparse && askNames && !links) links = std::make_unique<LinkCheck>(folder);
      if (reparse || (askNames && links->IsLink(find.name()))) kind = EntryKind::FileLink;
    }
    visit(find.name(), kind);
  } while (find.Next());
  return 0;
}

bool IsFolderLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

}  // namespace sys
