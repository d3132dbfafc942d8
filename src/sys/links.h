#pragma once
// The rule for links, kept in one place: the run never deletes, overwrites,
// locks or packs through a link it did not make. Anyone who can write beside
// a result (a shared folder) could otherwise plant one and have a run delete
// or overwrite whatever it points to.
//
// Wine shows a Unix link to a file as a plain file (no reparse attribute,
// the target's file index), and deleting it, or renaming it, acts on the
// target; only the path the system resolves an open handle to gives it
// away. Replacing a link by renaming another file onto its name does
// replace the link itself, there as on Windows.

#include <cstdint>
#include <string>

namespace sys {

// Whether a link (symbolic link, junction, mount point, a Unix link under
// Wine; to a file or a folder) is at `path`. Links in the folders above the
// last name do not count. False when nothing is there.
bool IsLink(const std::string& path);

enum class RemoveOutcome {
  Removed,   // gone; a link was removed as a link, its target untouched
  Failed,    // still there (missing, locked, no right); nothing was harmed
  LinkLeft,  // a link the system can only remove with its target: left
};

// The same check for many entries of one folder, as a walk makes it: the
// folder is resolved once.
class LinkCheck {
 public:
  explicit LinkCheck(const std::string& folder);
  // `name` as the folder's listing gives it, with no reparse point among
  // its attributes there (an entry with one is a link anyway).
  bool IsLink(const std::string& name) const;

 private:
  std::string folder_;
  std::string resolved_;  // the folder as the system resolves it; "" unknown
};

// Deletes the file at `path`, clearing a read-only attribute first; a link
// is removed as a link where the system can, and left otherwise.
RemoveOutcome RemoveFileNotThroughLink(const std::string& path);

// What makes a folder the one it was when the run made it: its volume and
// its file index. Two folders on one volume never share one; a folder moved
// away and replaced, or a link put in its place, has another.
struct FolderIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool known = false;
};

// The identity of the folder at `path` itself, never of what a link there
// points to; unknown (known false) when nothing is there, or a link is.
FolderIdentity IdentifyFolder(const std::string& path);

// Whether the folder at `path` is still the one `identity` was taken from:
// a link put in its place, or another folder, has another identity. A few
// calls, cheap enough to ask often.
bool SameFolder(const std::string& path, const FolderIdentity& identity);

}  // namespace sys
