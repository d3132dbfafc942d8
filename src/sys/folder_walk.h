#pragma once
// The one walker of the run's own folders: the manifest's end-of-run sweep,
// the packer and the clean-up of an old result folder all go through it, so
// that all three see the same files. Its rule for links: a link to a folder
// (junction, symbolic link, mount point; Wine shows a Unix folder link as a
// junction) is never entered. What lies behind one is not the run's: not to
// be listed, packed or deleted. A link to a file is not the run's data
// either: it is reported apart, never as a file (sys/links.h).

#include <functional>
#include <string>
#include <vector>

namespace sys {

enum class EntryKind { File, Folder, FolderLink, FileLink };

// Every entry of `folder` whose name matches `mask` ("*.*" matches every
// name, as on Windows), without "." and "..", in the file system's order.
// Paths use "\\". Windows edge and POSIX stand-in. 0, or the system's error
// code when the folder could not be listed (nothing matching is no error).
// `passOver` (may be empty) is asked with the name of each entry the listing
// shows as a plain file, before asking more: true leaves it unvisited.
// Without `askNames` a file is a link only when its listing says so (see
// TreeVisitor::linksAskedOfHandles).
unsigned long ForEachEntry(
    const std::string& folder, const std::string& mask,
    const std::function<void(const std::string& name, EntryKind kind)>& visit,
    const std::function<bool(const std::string& name)>& passOver = nullptr, bool askNames = true);

struct TreeVisitor {
  // A file matching the mask: its full path and its path below the root.
  std::function<void(const std::string& path, const std::string& relative)> file;
  // A link to a folder, not entered (may be empty).
  std::function<void(const std::string& path)> folderLink;
  // A link to a file (may be empty): its full path and its path below the
  // root.
  std::function<void(const std::string& path, const std::string& relative)> fileLink;
  // A real subfolder whose walk is over (may be empty).
  std::function<void(const std::string& path)> leftFolder;
  // A folder that could not be listed (a path too long for the system, no
  // access), with the system's error code (may be empty).
  std::function<void(const std::string& path, const std::string& relative, unsigned long error)>
      unlisted;
  // Asked before each entry; true ends the walk (may be empty).
  std::function<bool()> stop;
  // Asked with the path below the root of each entry the listing shows as a
  // plain file (may be empty): true passes it over, neither file nor link.
  // Under Wine, telling a file link from a file costs an open; a file the
  // visitor has no use for, or whose link another check finds, need not pay.
  std::function<bool(const std::string& relative)> passOver;
  // The visitor opens each file itself and asks the handle whether it is a
  // link (Wine shows a Unix link to a file as a file, sys/links.h): the walk
  // then takes the listing's word, where asking by name costs an open.
  bool linksAskedOfHandles = false;
};

// Walks `root`: in each folder first its files, then its links, then
// each real subfolder depth first. Depth is bounded by the path length the
// file system allows.
void WalkTree(const std::string& root, const std::string& mask, const TreeVisitor& visitor);

// Whether `path` is a link to a folder (junction, symbolic link).
bool IsFolderLink(const std::string& path);

// Removes `folder` and everything below it. A link under that name is
// removed itself, and what it points to is left alone: anyone who can write
// beside a result could otherwise plant one and have a run empty its target.
// Returns the links that the system could only have removed with their
// targets, and that were therefore left.
std::vector<std::string> RemoveFolderTree(const std::string& folder);

// Deletes every file and subfolder below `folder`, read-only ones too, but
// not `folder` itself; a link is removed as a link, never followed, or left
// (and returned) where the system cannot. Other failures are ignored: what
// cannot go stays. An empty name does nothing.
std::vector<std::string> RemoveFolderContents(const std::string& folder);

}  // namespace sys
