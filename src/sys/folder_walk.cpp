#include "sys/folder_walk.h"

#include <utility>
#include <vector>

#include "sys/file_system.h"
#include "sys/links.h"

namespace sys {

namespace {

bool Stopped(const TreeVisitor& visitor) { return visitor.stop && visitor.stop(); }

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "\\" + name;
}

void Walk(const std::string& folder, const std::string& relative, const std::string& mask,
          const TreeVisitor& visitor) {
  if (Stopped(visitor)) return;
  // With the mask that matches everything, one enumeration serves all three
  // passes: each costs the system a read of the whole folder.
  const bool everything = mask == "*.*";
  std::vector<std::pair<std::string, EntryKind>> entries;
  std::function<bool(const std::string&)> passOver;
  if (visitor.passOver) {
    passOver = [&](const std::string& name) { return visitor.passOver(Join(relative, name)); };
  }
  const unsigned long error = ForEachEntry(
      folder, "*.*",
      [&](const std::string& name, EntryKind kind) {
        if (everything || kind != EntryKind::File) entries.emplace_back(name, kind);
      },
      passOver, !visitor.linksAskedOfHandles);
  if (error != 0) {
    if (visitor.unlisted) visitor.unlisted(folder, relative, error);
    return;
  }
  const auto files = [&](const std::string& name, EntryKind kind) {
    if (kind != EntryKind::File || Stopped(visitor)) return;
    if (visitor.file) visitor.file(folder + "\\" + name, Join(relative, name));
  };
  if (everything) {
    for (const auto& entry : entries) files(entry.first, entry.second);
  } else {
    ForEachEntry(folder, mask, files, passOver, !visitor.linksAskedOfHandles);
  }
  for (const auto& entry : entries) {
    if (Stopped(visitor)) break;
    const std::string path = folder + "\\" + entry.first;
    if (entry.second == EntryKind::FolderLink && visitor.folderLink) visitor.folderLink(path);
    if (entry.second == EntryKind::FileLink && visitor.fileLink) {
      visitor.fileLink(path, Join(relative, entry.first));
    }
  }
  for (const auto& entry : entries) {
    if (entry.second != EntryKind::Folder || Stopped(visitor)) continue;
    const std::string path = folder + "\\" + entry.first;
    Walk(path, Join(relative, entry.first), mask, visitor);
    if (visitor.leftFolder) visitor.leftFolder(path);
  }
}

}  // namespace

void WalkTree(const std::string& root, const std::string& mask, const TreeVisitor& visitor) {
  Walk(root, std::string(), mask, visitor);
}

std::vector<std::string> RemoveFolderContents(const std::string& folder) {
  std::vector<std::string> left;
  const auto remove = [&left](const std::string& path, const std::string&) {
    if (RemoveFileNotThroughLink(path) == RemoveOutcome::LinkLeft) left.push_back(path);
  };
  TreeVisitor visitor;
  visitor.file = remove;
  visitor.fileLink = remove;
  visitor.folderLink = [](const std::string& path) { RemoveFolder(path); };
  visitor.leftFolder = [](const std::string& path) { RemoveFolder(path); };
  WalkTree(folder, "*.*", visitor);
  return left;
}

std::vector<std::string> RemoveFolderTree(const std::string& folder) {
  std::vector<std::string> left;
  if (folder.empty()) return left;
  if (IsFolderLink(folder)) {
    RemoveFolder(folder);
  } else if (IsLink(folder)) {
    // A file link under the folder's name.
    if (RemoveFileNotThroughLink(folder) == RemoveOutcome::LinkLeft) left.push_back(folder);
  } else {
    left = RemoveFolderContents(folder);
    RemoveFolder(folder);
  }
  return left;
}

}  // namespace sys
