#include "sys/links.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace sys {

namespace {

// Opens the name itself, never what a link there points to (on Windows;
// Wine opens the target all the same).
FileHandle OpenName(const std::string& path, DWORD access = FILE_READ_ATTRIBUTES) {
  return FileHandle(::CreateFileW(
      WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// On Windows a link always carries the reparse-point attribute; only Wine
// hides one, and only there is the check below needed.
bool LinksMayHide() {
  static const bool wine =
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// ntdll's file information calls (NtQueryInformationFile and
// NtSetInformationFile share this shape), there since Windows NT.
using FileInformationFn = LONG(NTAPI*)(HANDLE, void* ioStatus, void* info, ULONG length,
                                       int infoClass);
constexpr int kFileBasicInformation = 4;
constexpr int kFileNameInformation = 9;
constexpr int kFileDispositionInformation = 13;
constexpr int kFileAllInformation = 18;

FileInformationFn NtFileCall(const char* name) {
  return reinterpret_cast<FileInformationFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), name)));
}

bool SetInformation(HANDLE file, void* info, ULONG length, int infoClass) {
  static const FileInformationFn set = NtFileCall("NtSetInformationFile");
  ULONG_PTR ioStatus[2] = {};
  return set != nullptr && set(file, ioStatus, info, length, infoClass) >= 0;
}

// The path an open handle resolves to, without its drive: one call, where
// GetFinalPathNameByHandle costs Wine several. "" when it cannot tell.
std::string ResolvedName(HANDLE file) {
  static const FileInformationFn query = NtFileCall("NtQueryInformationFile");
  if (query == nullptr) return std::string();
  ULONG info[1 + MAX_PATH] = {};  // FILE_NAME_INFORMATION: length in bytes, then UTF-16
  ULONG_PTR ioStatus[2] = {};
  if (query(file, ioStatus, info, sizeof info, kFileNameInformation) < 0) return std::string();
  const int units = static_cast<int>(std::min<ULONG>(info[0], sizeof info - sizeof info[0]) / 2);
  const wchar_t* name = reinterpret_cast<const wchar_t*>(info + 1);
  return NarrowName(name, static_cast<size_t>(units));
}

// The path the system resolves the name to, without its drive.
std::string ResolvedPath(const std::string& path) {
  FileHandle file = OpenName(path);
  return file.valid() ? ResolvedName(file.get()) : std::string();
}

// The last folder resolved on this thread, kept: most checks ask about
// files of one folder. A stale answer (the folder swapped since) can only
// make a file look like a link, never a link like a file.
std::string ResolvedFolder(const std::string& folder) {
  thread_local std::string asked, answer;
  if (folder != asked) {
    answer = ResolvedPath(folder);
    asked = folder;
  }
  return answer;
}

bool HasReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine's tell-tale: a name that resolves to somewhere other than itself
// (or to nowhere on a drive), asked of a handle opened on it.
bool ResolvedElsewhere(const std::string& resolvedFolder, std::string resolved,
                       const std::string& name) {
  // A drive's root resolves with its backslash, any other folder without.
  const bool root = resolvedFolder.back() == '\\';
  std::string itself = resolvedFolder + (root ? "" : "\\") + name;
  // Wine answers a name with a trailing dot or space without them.
  while (!itself.empty() && (itself.back() == '.' || itself.back() == ' ')) itself.pop_back();
  while (!resolved.empty() && (resolved.back() == '.' || resolved.back() == ' '))
    resolved.pop_back();
  return ::lstrcmpiA(resolved.c_str(), itself.c_str()) != 0;
}

bool ResolvesElsewhere(const std::string& resolvedFolder, HANDLE file, const std::string& name) {
  if (!LinksMayHide() || resolvedFolder.empty()) return false;
  return ResolvedElsewhere(resolvedFolder, ResolvedName(file), name);
}

bool ResolvesElsewhere(const std::string& resolvedFolder, const std::string& path,
                       const std::string& name) {
  if (!LinksMayHide() || resolvedFolder.empty()) return false;
  FileHandle file = OpenName(path);
  return file.valid() && ResolvesElsewhere(resolvedFolder, file.get(), name);
}

// A file at a drive's root lies in "C:\", as "C:" alone is the drive's
// current folder.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return ".";
  const bool root = slash > 0 && path[slash - 1] == ':';
  return path.substr(0, root ? slash + 1 : slash);
}

// The name as the folder lists it: a short name resolves to its long one.
std::string ListedName(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  FileFind find;
  if (name.find('~') != std::string::npos && find.First(path)) name = find.name();
  return name;
}

// Under Wine: checked and deleted on one handle, so nothing can be swapped
// in between. Deleting through a handle opened on a link would delete its
// target there.
RemoveOutcome RemoveOnVerifiedHandle(const std::string& path) {
  FileHandle file = OpenName(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (!file.valid()) return RemoveOutcome::Failed;
  if (ResolvesElsewhere(ResolvedFolder(FolderPart(path)), file.get(), ListedName(path))) {
    return RemoveOutcome::LinkLeft;
  }
  if (DeleteOnClose(file.get())) return RemoveOutcome::Removed;
  // A read-only file refuses; its attributes go first (zero times: unchanged).
  struct {
    LARGE_INTEGER times[4];
    ULONG attributes;
  } basic = {{}, FILE_ATTRIBUTE_NORMAL};
  return SetInformation(file.get(), &basic, sizeof basic, kFileBasicInformation) &&
                 DeleteOnClose(file.get())
             ? RemoveOutcome::Removed
             : RemoveOutcome::Failed;
}

}  // namespace

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (HasReparsePoint(attributes)) return true;
  if (!LinksMayHide()) return false;
  return ResolvesElsewhere(ResolvedFolder(FolderPart(path)), path, ListedName(path));
}

bool DeleteOnClose(HANDLE file) {
  BOOLEAN dispose = TRUE;
  return SetInformation(file, &dispose, sizeof dispose, kFileDispositionInformation);
}

namespace {
void ReadFacts(const BY_HANDLE_FILE_INFORMATION& info, FileFacts* facts) {
  facts->volume = info.dwVolumeSerialNumber;
  facts->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  facts->links = info.nNumberOfLinks;
  facts->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}
}  // namespace

bool FactsOf(HANDLE file, FileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info)) return false;
  ReadFacts(info, facts);
  return true;
}

namespace {
// What a handle holds, from its attributes and (Wine only, where "" means
// not told) the name it resolves to.
OpenedFile KindOf(DWORD attributes, const std::string& path, const std::string& resolved) {
  const DWORD notPlain =
      FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  if ((attributes & notPlain) != 0) return OpenedFile::Other;
  if (!LinksMayHide()) return OpenedFile::Plain;
  const std::string folder = ResolvedFolder(FolderPart(path));
  if (folder.empty()) return OpenedFile::Unknown;
  return ResolvedElsewhere(folder, resolved, ListedName(path)) ? OpenedFile::Other
                                                               : OpenedFile::Plain;
}
}  // namespace

OpenedFile WhatWasOpened(HANDLE file, const std::string& path, FileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info)) return OpenedFile::Unknown;
  if (facts != nullptr) ReadFacts(info, facts);
  const bool named = LinksMayHide() && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  return KindOf(info.dwFileAttributes, path, named ? ResolvedName(file) : std::string());
}

OpenedFacts DescribeOpenedFile(HANDLE file, const std::string& path) {
  // FILE_ALL_INFORMATION flattened: basic, standard, internal, EA, access,
  // position, mode and alignment information, then the name as
  // FILE_NAME_INFORMATION has it; room for the longest name.
  struct AllInformation {
    LARGE_INTEGER created, accessed, written, changed;
    ULONG attributes;
    LARGE_INTEGER allocated, size;
    ULONG links;
    BOOLEAN deletePending, directory;
    LARGE_INTEGER index;
    ULONG ea, access;
    LARGE_INTEGER position;
    ULONG mode, alignment;
    ULONG nameBytes;
    WCHAR name[32768];
  };
  static_assert(offsetof(AllInformation, nameBytes) == 96, "FILE_ALL_INFORMATION's layout");
  static const FileInformationFn query = NtFileCall("NtQueryInformationFile");
  thread_local std::unique_ptr<AllInformation> all(new AllInformation);
  OpenedFacts facts;
  ULONG_PTR ioStatus[2] = {};
  DWORD attributes = 0;
  std::string resolved;
  // A name longer than the room fails the query; the two-call way is kept
  // for that, and for a system without the call.
  if (query != nullptr && query(file, ioStatus, all.get(), sizeof *all, kFileAllInformation) >= 0) {
    attributes = all->attributes;
    facts.size = static_cast<uint64_t>(all->size.QuadPart);
    facts.written.dwLowDateTime = all->written.LowPart;
    facts.written.dwHighDateTime = static_cast<DWORD>(all->written.HighPart);
    facts.links = all->links;
    facts.index = static_cast<uint64_t>(all->index.QuadPart);
    resolved = NarrowName(all->name, std::min<size_t>(all->nameBytes / 2, 32768));
  } else {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info)) return facts;
    attributes = info.dwFileAttributes;
    facts.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.written = info.ftLastWriteTime;
    facts.links = info.nNumberOfLinks;
    facts.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (LinksMayHide()) resolved = ResolvedName(file);
  }
  facts.known = true;
  facts.kind = KindOf(attributes, path, resolved);
  return facts;
}

LinkCheck::LinkCheck(const std::string& folder)
    : folder_(folder), resolved_(LinksMayHide() ? ResolvedPath(folder) : std::string()) {}

bool LinkCheck::IsLink(const std::string& name) const {
  return ResolvesElsewhere(resolved_, folder_ + "\\" + name, name);
}

RemoveOutcome RemoveFileNotThroughLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return RemoveOutcome::Failed;
  if (HasReparsePoint(attributes)) {
    // A link the system knows as one: deleting the name removes the link.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return RemoveFolder(path) ? RemoveOutcome::Removed : RemoveOutcome::Failed;
    }
    return ::DeleteFileW(WidePath(path).c_str()) ? RemoveOutcome::Removed : RemoveOutcome::Failed;
  }
  if (LinksMayHide()) return RemoveOnVerifiedHandle(path);
  return RemoveFile(path) ? RemoveOutcome::Removed : RemoveOutcome::Failed;
}

namespace {

// On Windows the name itself is opened, so a link there has an identity of
// its own; Wine opens the target, whose identity is another folder's.
FolderIdentity ReadIdentity(const std::string& path) {
  FolderIdentity identity;
  FileHandle folder = OpenName(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!folder.valid() || !::GetFileInformationByHandle(folder.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return identity;
  }
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.known = true;
  return identity;
}

}  // namespace

FolderIdentity IdentifyFolder(const std::string& path) {
  return IsLink(path) ? FolderIdentity() : ReadIdentity(path);
}

bool SameFolder(const std::string& path, const FolderIdentity& identity) {
  const FolderIdentity now = ReadIdentity(path);
  return identity.known && now.known && now.volume == identity.volume &&
         now.index == identity.index;
}

}  // namespace sys
