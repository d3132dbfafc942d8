#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "collect/file_collector.h"
#include "run/file_names.h"
#include "run/text.h"
#include "sys/code_page_win.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"
#include "trace/trace_log.h"

static_assert(DriveUnknown == DRIVE_UNKNOWN && DriveNoRootFolder == DRIVE_NO_ROOT_DIR &&
                  DriveRemovable == DRIVE_REMOVABLE && DriveFixed == DRIVE_FIXED &&
                  DriveRemote == DRIVE_REMOTE && DriveCdRom == DRIVE_CDROM &&
                  DriveRamDisk == DRIVE_RAMDISK,
              "drive types");

namespace {

bool PathExistsOnDisk(const std::string& path) { return sys::PathExists(path); }

// Both calls answer the needed size (with the terminator) when the buffer
// is too small, and 0 on failure; the path comes back unchanged then.
std::string FullPathName(const std::string& path) {
  std::string buffer(MAX_PATH, '\0');
  DWORD n =
      ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
  if (n >= buffer.size()) {
    buffer.assign(n, '\0');
    n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
  }
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return buffer;
}

std::string LongPathName(const std::string& path) {
  std::string buffer(MAX_PATH, '\0');
  DWORD n = ::GetLongPathNameA(path.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.assign(n, '\0');
    n = ::GetLongPathNameA(path.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return buffer;
}

// A folder as a full path with long names, without a trailing "\\". The
// backslash goes in first because "C:" alone means the drive's current
// folder, not its root.
std::string CanonicalFolder(const std::string& folder) {
  if (folder.empty()) return std::string();
  std::string path = LongPathName(FullPathName(folder + "\\"));
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Upper case as the system's code page has it, the way the file system
// compares names (not the linguistic compare of lstrcmpiA, which ignores
// hyphens).
std::string UpperPath(std::string path) {
  if (!path.empty()) ::CharUpperBuffA(&path[0], static_cast<DWORD>(path.size()));
  return path;
}

// The result folder's canonical form, asked of the system once per run
// rather than once per action: the long-name look-up walks every folder of
// the path.
std::string CanonicalRoot(const std::string& workingRoot) {
  static std::mutex mutex;
  static std::string root, canonical;
  std::lock_guard<std::mutex> lock(mutex);
  if (workingRoot != root || canonical.empty()) {
    canonical = UpperPath(CanonicalFolder(workingRoot));
    root = workingRoot;
  }
  return canonical;
}

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

uint32_t LastError() {
  const DWORD code = ::GetLastError();
  return code != 0 ? code : ERROR_GEN_FAILURE;
}

// Our own copy instead of CopyFileA: one open of each side, reads and
// writes, the times; the manifest's CRC is taken from the bytes as they
// pass, where CopyFileA would need a second read of the copy. The copy is
// made new with normal attributes, which CopyFileA would leave to a call of
// its own. `share` is what the source is opened with: read and delete as
// CopyFileA on Windows does, so a file that another program writes fails
// with 32, or everything for a file in use. *taken tells that the name was
// not free (a file, a folder or a link there): nothing was made then. A
// copy that fails half-way is deleted through its own handle.
bool CopyWithCrc(const std::string& from, const std::string& to, DWORD share,
                 std::vector<unsigned char>* buffer, uint32_t* error, bool* taken, uint32_t* crc,
                 uint64_t* size) {
  *taken = false;
  // Wide calls: a name outside the code page is collected like any other.
  sys::FileHandle source(::CreateFileW(sys::WidePath(from).c_str(), GENERIC_READ, share, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source) {
    *error = LastError();
    return false;
  }
  // Created where nothing is, so never through a link; what stands at the
  // name is an earlier copy or not ours, and stays.
  sys::FileHandle target(::CreateFileW(sys::WidePath(to).c_str(), GENERIC_WRITE | DELETE, 0,
                                       nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!target) {
    *error = LastError();
    // A folder at the name refuses with 5 on some systems.
    *taken = *error == ERROR_FILE_EXISTS || *error == ERROR_ALREADY_EXISTS ||
             *error == ERROR_ACCESS_DENIED;
    return false;
  }
  const auto fail = [&](uint32_t code) {
    *error = code;
    sys::DeleteOnClose(target.get());
    return false;
  };
  // Large pieces: under Wine the cost is per call, not per byte.
  if (buffer->empty()) buffer->resize(1u << 20);
  uLong value = crc32(0L, Z_NULL, 0);
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(source.get(), buffer->data(), static_cast<DWORD>(buffer->size()), &got,
                    nullptr)) {
      return fail(LastError());
    }
    if (got == 0) break;
    value = crc32(value, buffer->data(), got);
    DWORD written = 0;
    if (!::WriteFile(target.get(), buffer->data(), got, &written, nullptr)) {
      return fail(LastError());
    }
    // A file on disk takes less only when the disk is full.
    if (written != got) return fail(ERROR_DISK_FULL);
    total += got;
    // A short read is the end of a file on disk: no further call to learn it.
    if (got < buffer->size()) break;
  }
  // As CopyFileA does: the copy keeps the source's times.
  FILETIME created, accessed, modified;
  if (::GetFileTime(source.get(), &created, &accessed, &modified)) {
    ::SetFileTime(target.get(), &created, &accessed, &modified);
  }
  *crc = static_cast<uint32_t>(value);
  *size = total;
  return true;
}

}  // namespace

bool FileCollector::Run(int32_t mode) {
  matchCount_ = 0;
  failedCount_ = 0;
  if (!resolved_) {
    context_.Log(SeverityError, "File operation skipped");
    context_.Detail("...");
    return false;
  }
  if (mode == CopyMode) {
    context_.Log(SeverityInformation, Format("Files to be copied to %s", outputPath_.c_str()));
  } else if (mode == ListMode) {
    context_.Log(SeverityInformation, Format("Files to be listed to %s", outputPath_.c_str()));
    LogFile(outputPath_).AppendLine(kFileVersionListHeader);
  }
  canonicalRoot_ = CanonicalRoot(workingRoot_);

  if (scanAllDrives_) {
    SearchAllDrives(mode);
  } else if (scanSubfolders_) {
    const std::string folder = FolderOf(specification_);
    const std::string mask = NameOf(specification_);
    SearchFolderTree(folder, CanonicalFolder(folder), mask, mode);
  } else {
    SearchOneFolder(mode);
  }

  if (!context_.StopRequested() && matchCount_ == 0 && failedCount_ == 0) {
    context_.Log(SeverityInformation, "No matching files found");
  }
  context_.Detail("...");
  return false;
}

void FileCollector::SearchAllDrives(int32_t mode) {
  // Room for all 26 drives; a longer answer leaves the buffer untouched.
  char buffer[256] = {};
  ::GetLogicalDriveStringsA(sizeof buffer, buffer);
  for (const std::string& entry : SplitDriveStrings(buffer, sizeof buffer)) {
    if (context_.StopRequested()) break;
    const std::string drive = DriveText(entry);
    // The type needs the root with its backslash.
    if (!DriveTypeSearched(::GetDriveTypeA(entry.c_str()), includeNetworkDrives_) ||
        drive.empty()) {
      continue;
    }
    if (excludedDrives_.find(drive[0]) != std::string::npos) {
      context_.Log(SeverityInformation, Format("Skipping %s", drive.c_str()));
    } else {
      context_.Log(SeverityInformation, Format("Searching %s", drive.c_str()));
      SearchFolderTree(drive, CanonicalFolder(drive), specification_, mode);
    }
  }
}

void FileCollector::SearchFolderTree(const std::string& folder, const std::string& canonicalFolder,
                                     const std::string& mask, int32_t mode) {
  if (context_.StopRequested()) return;
  // With the mask that matches everything the first enumeration already
  // lists the subfolders: a second one would cost the system another read
  // of the whole folder.
  const bool everything = mask == "*.*";
  struct Folder {
    std::string name;
    bool link;
  };
  std::vector<Folder> folders;
  sys::FileFind find;
  if (find.First(folder + "\\" + mask)) {
    do {
      if (context_.StopRequested()) break;
      const std::string name = find.name();
      if (everything && find.isFolder() && !find.isDots()) folders.push_back({name, find.isLink()});
      currentFile_ = FoundEntryPath(folder, mask, name);
      context_.Detail(name);
      if (find.isFolder()) continue;
      HandleCurrentFile(mode);
    } while (find.Next());
  }
  if (!everything && find.First(folder + "\\*.*")) {
    do {
      if (find.isFolder() && !find.isDots()) folders.push_back({find.name(), find.isLink()});
    } while (find.Next());
  }
  find.Close();
  for (const Folder& entry : folders) {
    if (context_.StopRequested()) break;
    const std::string& name = entry.name;
    const std::string path = folder + "\\" + name;
    // A folder link (junction, symbolic link; Wine shows a Unix folder
    // link as one) may lead back up the tree: two links to "." had a walk
    // copy one file thousands of times. What lies behind a link is
    // searched where it really is, if inside the search at all.
    if (entry.link) {
      context_.Log(SeverityDebug, Format("Folder link not followed: %s", path.c_str()));
      continue;
    }
    // The canonical form grows with the walk: the enumeration's names
    // are already long names, so no further call is needed per folder.
    const std::string canonical = canonicalFolder + "\\" + name;
    if (IsResultFolder(path, canonical)) continue;
    SearchFolderTree(path, canonical, mask, mode);
  }
}

void FileCollector::SearchOneFolder(int32_t mode) {
  // The enumeration gives bare names; their folder is the file specification's,
  // made absolute as the search itself sees it.
  const std::string folder = FolderOf(FullPathName(specification_));
  sys::FileFind find;
  if (!find.First(specification_)) return;
  do {
    const std::string name = find.name();
    currentFile_ = folder + "\\" + name;
    context_.Detail(name);
    if (find.isFolder()) continue;
    HandleCurrentFile(mode);
  } while (find.Next());
}

bool FileCollector::IsResultFolder(const std::string& path,
                                   const std::string& canonicalPath) const {
  if (workingRoot_.empty()) return false;
  return EqualsNoCase(path, workingRoot_) ||
         (!canonicalRoot_.empty() && UpperPath(canonicalPath) == canonicalRoot_);
}

void FileCollector::HandleCurrentFile(int32_t mode) {
  // A mask's own folder part may hold "..": the file is named as it really is.
  currentFile_ = NormalisePath(currentFile_);
  if (mode == CopyMode) {
    CopyCurrentFile();
  } else if (mode == ListMode) {
    ListCurrentFile();
  }
}

void FileCollector::CopyCurrentFile() {
  // Nothing is asked of the disk beforehand: the copy is made only where
  // nothing is, and a taken name says so at once. Only then are the names
  // looked at in turn. The test seam's copier overwrites: it gets them
  // looked at first.
  const PathExists assumeFree = [](const std::string&) { return false; };
  CopyTarget target;
  if (!ChooseCopyTarget(outputPath_, workingRoot_, archivePrefix_, currentFile_,
                        plainCopy_ ? PathExists(PathExistsOnDisk) : assumeFree, &target)) {
    return;
  }
  // The dispatcher leaves the action's folder to the first file copied.
  // It, and every mirrored folder in it, is made by this run and held:
  // a folder that was there already, or a link put in its place, could
  // take the copies anywhere.
  if (!outputMade_) outputMade_ = sys::MakeOwnFolder(outputPath_);
  const std::string folder = target.mirrored ? FolderOf(target.destination) : std::string();
  // Files of one source folder share their mirrored folder: made once, not
  // probed again for each file.
  if (target.mirrored && folder != madeFolder_ && CreateFolderPath(folder)) madeFolder_ = folder;
  if (!outputMade_ || (target.mirrored && folder != madeFolder_)) {
    ++failedCount_;
    context_.Log(SeverityError,
                 Format("Unable to collect file %s: folder %s is not one the run made",
                        currentFile_.c_str(), (outputMade_ ? folder : outputPath_).c_str()));
    return;
  }
  uint32_t error = 0;
  uint32_t crc = 0;
  uint64_t size = 0;
  bool crcKnown = false;
  bool taken = false;
  const auto copy = [&](bool inUse) {
    if (!inUse && plainCopy_) return plainCopy_(currentFile_, target.destination, &error);
    const DWORD share = inUse ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                              : FILE_SHARE_READ | FILE_SHARE_DELETE;
    crcKnown = CopyWithCrc(currentFile_, target.destination, share, &copyBuffer_, &error, &taken,
                           &crc, &size);
    return crcKnown;
  };
  bool copied = copy(false);
  // An earlier action's copy, or anything else, at the name; a link whose
  // target is missing is seen only by the create, and is kept from the next
  // choice that way. The next choice is the flat one, in the action's folder.
  std::vector<std::string> takenNames;
  const PathExists takenOrThere = [&takenNames](const std::string& path) {
    return std::find(takenNames.begin(), takenNames.end(), path) != takenNames.end() ||
           PathExistsOnDisk(path);
  };
  for (int tries = 0; !copied && taken && tries < 4; ++tries) {
    takenNames.push_back(target.destination);
    ChooseCopyTarget(outputPath_, workingRoot_, archivePrefix_, currentFile_, takenOrThere,
                     &target);
    copied = copy(false);
  }
  if (!copied && error == ERROR_PATH_NOT_FOUND && target.mirrored) {
    // The folder made for an earlier file went meanwhile.
    madeFolder_.clear();
    if (CreateFolderPath(folder)) madeFolder_ = folder;
    copied = copy(false);
  }
  const bool inUse = !copied && error == ERROR_SHARING_VIOLATION;
  if (inUse) copied = copy(true);
  if (!copied) {
    ++failedCount_;
    // The seam's copier may leave a partial copy at the name it was given
    // free (a full disk does); our own deletes its copy itself.
    if (plainCopy_) sys::RemoveFile(target.destination);
    context_.Log(SeverityError, Format("Unable to collect file %s (%u)", currentFile_.c_str(),
                                       static_cast<unsigned>(error)));
    return;
  }
  ++matchCount_;
  if (crcKnown) {
    SharedFreeSpace().Charge(target.destination, size);
  } else {
    ::SetFileAttributesW(sys::WidePath(target.destination).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  context_.Log(SeverityInformation,
               Format(inUse ? "Collected File (in use): %s as %s" : "Collected File: %s as %s",
                      currentFile_.c_str(), target.archiveName.c_str()));
  if (crcKnown) {
    context_.AddFileWithCrc(target.archiveName, currentFile_, crc);
  } else {
    context_.AddFile(target.archiveName, currentFile_);
  }
}

bool FileCollector::CreateFolderPath(const std::string& path) {
  std::vector<std::string> prefixes;
  bool ok = FolderPathPrefixes(path, &prefixes);
  for (size_t i = 0; ok && i < prefixes.size(); ++i) {
    const std::string& prefix = prefixes[i];
    // From the action's folder down, the run's own folders; above it the
    // result folder, made by the run already.
    if (prefix.size() >= outputPath_.size()) {
      ok = sys::MakeOwnFolder(prefix);
      continue;
    }
    if (PathExistsOnDisk(prefix)) continue;
    if (!sys::CreateFolder(prefix)) ok = false;
  }
  ok = ok && PathExistsOnDisk(path);
  if (!ok && TraceLog::kEnabled) {
    TraceLog::Instance().Trace("QorFile", __LINE__, "Exception: %s",
                               SystemMessage(static_cast<DWORD>(E_FAIL)).c_str());
  }
  return ok;
}

void FilesAction(ActionRequest& request) {
  FileCollector collector(request.outputPath, request.context, request.value, request.tempFolder,
                          request.scriptFolder, request.name);
  collector.Run(CopyMode);
}
