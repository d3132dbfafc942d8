#include "sys/links.h"

#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace sys {

namespace {

// Opens the name itself, never what a link there points to (on Windows;
// Wine opens the target all the same).
FileHandle OpenName(const std::string& path) {
  return FileHandle(::CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

// On Windows a link always carries the reparse-point attribute; only Wine
// hides one, and only there is the costly check below needed.
bool LinksMayHide() {
  static const bool wine =
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// The path the system resolves the name to, without its drive (asking for
// the drive costs Wine a call to its mount manager, three times the rest);
// "" when it cannot tell, as for a name that resolves outside every drive.
std::string ResolvedPath(const std::string& path) {
  static const FinalPathFn finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
  if (finalPath == nullptr) return std::string();
  FileHandle file = OpenName(path);
  if (!file.valid()) return std::string();
  char buffer[4 * MAX_PATH];
  const DWORD n = finalPath(file.get(), buffer, sizeof buffer, VOLUME_NAME_NONE);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return std::string(buffer, n);
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

// Wine's tell-tale: the name resolves to somewhere other than itself.
bool ResolvesElsewhere(const std::string& resolvedFolder, const std::string& path,
                       const std::string& name) {
  if (!LinksMayHide() || resolvedFolder.empty()) return false;
  const std::string resolved = ResolvedPath(path);
  // A drive's root resolves with its backslash, any other folder without.
  const bool root = resolvedFolder.back() == '\\';
  const std::string itself = resolvedFolder + (root ? "" : "\\") + name;
  return ::lstrcmpiA(resolved.c_str(), itself.c_str()) != 0;
}

// A file at a drive's root lies in "C:\", as "C:" alone is the drive's
// current folder.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return ".";
  const bool root = slash > 0 && path[slash - 1] == ':';
  return path.substr(0, root ? slash + 1 : slash);
}

}  // namespace

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (HasReparsePoint(attributes)) return true;
  if (!LinksMayHide()) return false;
  const size_t slash = path.find_last_of('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A short name resolves to its long one, which the listing gives.
  FileFind find;
  if (name.find('~') != std::string::npos && find.First(path)) name = find.name();
  return ResolvesElsewhere(ResolvedFolder(FolderPart(path)), path, name);
}

LinkCheck::LinkCheck(const std::string& folder)
    : folder_(folder), resolved_(LinksMayHide() ? ResolvedPath(folder) : std::string()) {}

bool LinkCheck::IsLink(const std::string& name) const {
  const std::string path = folder_ + "\\" + name;
  return HasReparsePoint(::GetFileAttributesA(path.c_str())) ||
         ResolvesElsewhere(resolved_, path, name);
}

RemoveOutcome RemoveFileNotThroughLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return RemoveOutcome::Failed;
  if (HasReparsePoint(attributes)) {
    // A link the system knows as one: deleting the name removes the link.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return RemoveFolder(path) ? RemoveOutcome::Removed : RemoveOutcome::Failed;
    }
    return ::DeleteFileA(path.c_str()) ? RemoveOutcome::Removed : RemoveOutcome::Failed;
  }
  if (IsLink(path)) return RemoveOutcome::LinkLeft;
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
