#include "sys/folder_walk.h"

#include "sys/file_system.h"

namespace sys {

namespace {

bool Stopped(const TreeVisitor& visitor) { return visitor.stop && visitor.stop(); }

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "\\" + name;
}

void Walk(const std::string& folder, const std::string& relative, const std::string& mask,
          const TreeVisitor& visitor) {
  if (Stopped(visitor)) return;
  ForEachEntry(folder, mask, [&](const std::string& name, EntryKind kind) {
    if (kind != EntryKind::File || Stopped(visitor)) return;
    if (visitor.file) visitor.file(folder + "\\" + name, Join(relative, name));
  });
  ForEachEntry(folder, "*.*", [&](const std::string& name, EntryKind kind) {
    if (kind != EntryKind::FolderLink || Stopped(visitor)) return;
    if (visitor.folderLink) visitor.folderLink(folder + "\\" + name);
  });
  ForEachEntry(folder, "*.*", [&](const std::string& name, EntryKind kind) {
    if (kind != EntryKind::Folder || Stopped(visitor)) return;
    const std::string path = folder + "\\" + name;
    Walk(path, Join(relative, name), mask, visitor);
    if (visitor.leftFolder) visitor.leftFolder(path);
  });
}

}  // namespace

void WalkTree(const std::string& root, const std::string& mask, const TreeVisitor& visitor) {
  Walk(root, std::string(), mask, visitor);
}

void RemoveFolderContents(const std::string& folder) {
  TreeVisitor visitor;
  visitor.file = [](const std::string& path, const std::string&) { RemoveFile(path); };
  visitor.folderLink = [](const std::string& path) { RemoveFolder(path); };
  visitor.leftFolder = [](const std::string& path) { RemoveFolder(path); };
  WalkTree(folder, "*.*", visitor);
}

void RemoveFolderTree(const std::string& folder) {
  if (folder.empty()) return;
  if (!IsFolderLink(folder)) RemoveFolderContents(folder);
  RemoveFolder(folder);
}

}  // namespace sys
