#pragma once
// The few file-system calls that portable logic needs, with a Windows edge
// (file_system_win.cpp) and a POSIX stand-in (file_system_posix.cpp) that
// lets the portable core and tovkit run and be tested on Linux.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace sys {

// The path as the platform's own calls and the C library want it: as it is
// on Windows; with "/" for the core's "\\" in the POSIX stand-ins.
std::string SystemPath(const std::string& path);

// Appends bytes to a file, creating it when missing, in one write that
// reaches the system before this returns (nothing is buffered in the
// process), so what was appended is on disk as after a close. The file is
// opened for appending only, others may only read it; on Windows the handle
// is kept for the next append to the same path (a few files at a time),
// since an open and a close per line cost more than the line. False when
// it cannot be opened or not all bytes were written.
bool AppendToFile(const std::string& path, const std::string& bytes);

// Closes the handle AppendToFile keeps for the path (in any letter case),
// so that the file can be opened without sharing, deleted or replaced.
// The calls below that need that do it themselves.
void ReleaseAppendHandle(const std::string& path);
// Closes every kept handle.
void ReleaseAppendHandles();

// Free bytes available to the caller on the drive whose root is given
// ("C:\\"). False when the platform cannot tell.
bool FreeBytesAvailable(const std::string& root, uint64_t* bytes);

// Whole file into `data`; false when it cannot be read (data then empty).
bool ReadWholeFile(const std::string& path, std::string* data);

// Replaces the file's content; false on any failure.
bool WriteWholeFile(const std::string& path, const std::string& data);

// Deletes a file, clearing a read-only attribute first (which otherwise
// refuses deletion).
bool RemoveFile(const std::string& path);

// A new file of the run's own, open for writing (the caller closes it):
// created where nothing is, so never opened through a link. A left-over
// file of that name goes first, a link there only as a link (sys/links.h).
// nullptr on failure.
std::FILE* CreateOwnFile(const std::string& path, bool readBack = false);

// The name a file is written under beside its final one until it is done.
inline std::string WorkingNameFor(const std::string& finalPath) { return finalPath + ".partial"; }

// Moves a finished file to its final name, replacing whatever is there; a
// link there is replaced itself, never written through.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Renames a file or folder to a name where nothing is; never replaces.
bool MoveAside(const std::string& from, const std::string& to);

// Removes a folder, or a link to one (never what it points to); succeeds
// only when the folder is empty.
bool RemoveFolder(const std::string& path);

// Whether a folder (or a link to one) is at the path.
bool FolderExists(const std::string& path);

// Whether anything (file, folder, link) is at the path.
bool PathExists(const std::string& path);

// Creates a folder whose parent exists; an existing folder counts as made.
bool CreateFolder(const std::string& path);

// The run's own folders. Anyone who may write beside a result (a share, a
// folder every local user may write) could otherwise rename a folder of the
// run away mid-run and put a link in its place, and have a privileged run
// write, pack or delete elsewhere.
//
// Creates the folder new (an existing one fails), private to the running
// user, SYSTEM and Administrators, inheriting nothing from above; what is
// made inside it inherits the same. Then holds it as HoldFolder does.
bool CreatePrivateFolder(const std::string& path);

// Keeps a folder open, without delete sharing, until ReleaseHeldFolders:
// nobody can rename, move or remove it meanwhile. False when it cannot be
// opened, or a link is there. The identity check (links.h) stays for what
// share modes cannot stop (a Unix process under Wine).
bool HoldFolder(const std::string& path);

// A folder of the run's own inside a held one: created new and held. One
// this run made and holds counts as made; any other folder there (or a
// link) does not, and nothing is made through it.
bool MakeOwnFolder(const std::string& path);

void ReleaseHeldFolders();

// A file of the run's folders as the run keeps track of it: the file
// behind a name can be told apart from the one the run wrote there, and a
// hard link (more than one name) is never the run's data.
struct FileFacts {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint32_t links = 0;
  uint64_t size = 0;
};

// Why a path is no script to read: a device, a pipe, a folder, anything
// but a regular file (the opened handle's type decides, after the device
// names that must not even be opened). Empty when it is a regular file,
// whose bytes are then in `bytes`; kCannotBeRead when it could not be
// opened or read.
constexpr char kCannotBeRead[] = "cannot be read";
std::string ReadRegularFile(const std::string& path, std::string* bytes);

// Rewrites a file the run wrote, through one handle that reads it, lets
// `change` edit the text and writes it back: never reopened by name in
// between. False when the name no longer leads to `expected` (volume and
// index), it has more than one name, or any call fails.
bool RewriteOwnFile(const std::string& path, const FileFacts& expected,
                    const std::function<bool(std::string* text)>& change);

// What the append handle of AppendToFile knows of the file at `path`
// (false when it never appended there).
bool AppendedFileFacts(const std::string& path, FileFacts* facts);

// A file held open without sharing for as long as the object lives: the
// mark of a live owner. The file goes when it is released, also when the
// process dies. Windows edge and POSIX stand-in (an advisory lock there).
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // False while another owner holds the file (or it cannot be made).
  bool Take(const std::string& path);
  void Release();

 private:
  intptr_t handle_ = -1;  // the platform's handle or descriptor; -1 none
  std::string path_;
};

struct LocalTime {
  int year, month, day, hour, minute, second;
};
LocalTime Now();

}  // namespace sys
