#pragma once
// The few file-system calls that portable logic needs, with a Windows edge
// (file_system_win.cpp) and a POSIX stand-in (file_system_posix.cpp) that
// lets the portable core and tovkit run and be tested on Linux.

#include <cstdint>
#include <cstdio>
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

// Removes a folder, or a link to one (never what it points to); succeeds
// only when the folder is empty.
bool RemoveFolder(const std::string& path);

// Whether a folder (or a link to one) is at the path.
bool FolderExists(const std::string& path);

// Whether anything (file, folder, link) is at the path.
bool PathExists(const std::string& path);

// Creates a folder whose parent exists; an existing folder counts as made.
bool CreateFolder(const std::string& path);

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
