#include "sys/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "sys/folder_walk.h"
#include "sys/handles_win.h"
// after windows.h
#include <sddl.h>
#include "sys/links.h"

namespace sys {

namespace {

// In pieces of at most 1 MiB; a write that takes nothing counts as failed.
bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// The append handles kept open, most recently used last. Under Wine an
// open and a close cost a round trip to the server each, and a path lookup;
// a write of a line costs neither.
class HeldAppends {
 public:
  static HeldAppends& Instance() {
    static HeldAppends held;
    return held;
  }

  bool Append(const std::string& path, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = Key(path);
    auto it = std::find_if(files_.begin(), files_.end(),
                           [&key](const Held& held) { return held.key == key; });
    if (it == files_.end()) {
      // Append-only access puts every write at the end without a seek;
      // OPEN_ALWAYS creates a missing file in the same call. Readers may
      // look in, no other writer can come between the lines.
      FileHandle file(Open(path, key));
      if (!file.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION && !files_.empty()) {
        // The same file held under another spelling of its path.
        files_.clear();
        file.Attach(Open(path, key));
      }
      if (!file.valid()) return false;
      if (files_.size() >= kMostHeld) files_.erase(files_.begin());
      files_.push_back(Held{key, std::move(file)});
      it = files_.end() - 1;
    } else if (it != files_.end() - 1) {
      std::rotate(it, it + 1, files_.end());
      it = files_.end() - 1;
    }
    if (WriteAll(it->file.get(), bytes)) return true;
    // A failed write (disk full) leaves no handle behind.
    files_.erase(it);
    return false;
  }

  // A file the run moved into place under a followed name is the one to
  // follow from then; one that cannot be asked is followed no more.
  void Follow(const std::string& path) {
    std::lock_guard<std::mutex> lock(knownMutex_);
    const auto known = known_.find(Key(path));
    if (known == known_.end()) return;
    FileHandle file(::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FileFacts facts;
    if (file.valid() && FactsOf(file.get(), &facts)) {
      known->second = facts;
    } else {
      known_.erase(known);
    }
  }

  void Release(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (files_.empty()) return;
    const std::string key = Key(path);
    files_.erase(std::remove_if(files_.begin(), files_.end(),
                                [&key](const Held& held) { return held.key == key; }),
                 files_.end());
  }

  void ReleaseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
  }

  bool Facts(const std::string& path, FileFacts* facts) {
    std::lock_guard<std::mutex> lock(knownMutex_);
    const auto known = known_.find(Key(path));
    if (known == known_.end()) return false;
    *facts = known->second;
    return true;
  }

  // A file the run makes anew under a name is the one to follow from then.
  void Forget(const std::string& path) {
    std::lock_guard<std::mutex> lock(knownMutex_);
    if (!known_.empty()) known_.erase(Key(path));
  }

 private:
  static constexpr size_t kMostHeld = 8;
  // A file that is there is appended to only if it is one of its own name,
  // has no other name (a hard link), and is the very file this process
  // appended to before: a link or another file put there would have the
  // lines written, or a file made, outside.
  HANDLE Open(const std::string& path, const std::string& key) {
    FileHandle file(::CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FileFacts facts;
    if (file.valid()) {
      if (WhatWasOpened(file.get(), path, &facts) != OpenedFile::Other) {
        std::lock_guard<std::mutex> lock(knownMutex_);
        const auto known = known_.find(key);
        if (facts.links > 1 || (known != known_.end() && (known->second.volume != facts.volume ||
                                                          known->second.index != facts.index))) {
          ::SetLastError(ERROR_ACCESS_DENIED);
          return INVALID_HANDLE_VALUE;
        }
        known_.emplace(key, facts);
        return file.Detach();
      }
      file.Close();
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
      return INVALID_HANDLE_VALUE;
    }
    // Made new where nothing is: nobody else's file.
    file = CreateOwnHandle(path, FILE_APPEND_DATA, FILE_SHARE_READ, 0);
    if (file.valid() && FactsOf(file.get(), &facts)) {
      std::lock_guard<std::mutex> lock(knownMutex_);
      known_[key] = facts;
    }
    return file.Detach();
  }
  struct Held {
    std::string key;
    FileHandle file;
  };
  // Names compare as the file system compares them.
  static std::string Key(std::string path) {
    if (!path.empty()) ::CharUpperBuffA(&path[0], static_cast<DWORD>(path.size()));
    return path;
  }
  std::mutex mutex_;
  std::vector<Held> files_;
  // What each file appended to was when first opened, kept after its
  // handle goes.
  std::mutex knownMutex_;
  std::map<std::string, FileFacts> known_;
};

}  // namespace

FileHandle CreateOwnHandle(const std::string& path, DWORD access, DWORD share, DWORD flags) {
  const std::wstring wide = WidePath(path);
  FileHandle file;
  for (int attempt = 0; attempt < 2 && !file.valid(); ++attempt) {
    file.Attach(::CreateFileW(wide.c_str(), access, share, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    if (!file.valid() && (::GetLastError() != ERROR_FILE_EXISTS ||
                          RemoveFileNotThroughLink(path) != RemoveOutcome::Removed)) {
      break;
    }
  }
  if (file.valid()) HeldAppends::Instance().Forget(path);
  return file;
}

std::string SystemPath(const std::string& path) { return path; }

bool AppendToFile(const std::string& path, const std::string& bytes) {
  return HeldAppends::Instance().Append(path, bytes);
}

void ReleaseAppendHandle(const std::string& path) { HeldAppends::Instance().Release(path); }

void ReleaseAppendHandles() { HeldAppends::Instance().ReleaseAll(); }

bool AppendedFileFacts(const std::string& path, FileFacts* facts) {
  return HeldAppends::Instance().Facts(path, facts);
}

bool FreeBytesAvailable(const std::string& root, uint64_t* bytes) {
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return false;
  *bytes = available.QuadPart;
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* data) {
  data->clear();
  ReleaseAppendHandle(path);
  FileHandle file(::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      data->clear();
      return false;
    }
    if (got == 0) return true;
    data->append(buffer, got);
  }
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  ReleaseAppendHandle(path);
  FileHandle file = CreateOwnHandle(path, GENERIC_WRITE, 0, 0);
  if (!file.valid()) return false;
  return WriteAll(file.get(), data);
}

// Paths of collected files may hold names the code page cannot: these
// calls take the wide form.
bool RemoveFile(const std::string& path) {
  ReleaseAppendHandle(path);
  const std::wstring wide = WidePath(path);
  if (::DeleteFileW(wide.c_str())) return true;
  // Only a read-only file needs its attributes cleared; asking first would
  // cost every other file a call.
  if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileW(wide.c_str()) != FALSE;
}

std::FILE* CreateOwnFile(const std::string& path, bool readBack) {
  const DWORD access = readBack ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  FileHandle file = CreateOwnHandle(path, access, 0, 0);
  if (!file.valid()) return nullptr;
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.get()),
                                   (readBack ? _O_RDWR : _O_WRONLY) | _O_BINARY);
  if (fd < 0) return nullptr;
  file.Detach();  // the descriptor owns it now
  std::FILE* stream = ::_fdopen(fd, readBack ? "w+b" : "wb");
  if (stream == nullptr) ::_close(fd);
  return stream;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  // Wide: a name the code page cannot hold arrives escaped.
  const std::wstring source = WidePath(from), target = WidePath(to);
  bool moved = ::MoveFileExW(source.c_str(), target.c_str(), flags) != FALSE;
  // A read-only old result refuses being replaced; a link is never
  // changed, it is replaced whatever its target's attributes.
  if (!moved && ::GetLastError() == ERROR_ACCESS_DENIED && !IsLink(to)) {
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    moved = ::MoveFileExW(source.c_str(), target.c_str(), flags) != FALSE;
  }
  if (moved) HeldAppends::Instance().Follow(to);
  return moved;
}

bool MoveAside(const std::string& from, const std::string& to) {
  return ::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), 0) != FALSE;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateFolder(const std::string& path) {
  return ::CreateDirectoryW(WidePath(path).c_str(), nullptr) != FALSE ||
         ::GetLastError() == ERROR_ALREADY_EXISTS;
}

namespace {

// The running user's SID as text ("S-1-5-21-..."); "" when unknown.
std::wstring UserSid() {
  HANDLE raw = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &raw) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    return std::wstring();
  }
  KernelHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  wchar_t* text = nullptr;
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) ||
      !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    return std::wstring();
  }
  std::wstring sid = text;
  ::LocalFree(text);
  return sid;
}

// The held folders, by upper-case path, with what they were when held.
class HeldFolders {
 public:
  static HeldFolders& Instance() {
    static HeldFolders held;
    return held;
  }

  // `made`: the run has just made it, inside a folder of its own.
  bool Hold(const std::string& path, bool made = false) {
    // Wine opens what a Unix link points to; the name is asked first.
    if (!made && IsLink(path)) return false;
    // List access takes part in sharing (attribute access alone would not),
    // and asks no more of others than to share reading and writing: a
    // tool may still make it its current folder. Without delete sharing
    // nobody can open it to rename or remove it.
    FileHandle folder(::CreateFileW(
        WidePath(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder.valid() || !::GetFileInformationByHandle(folder.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY) {
      return false;
    }
    FileFacts facts;
    facts.volume = info.dwVolumeSerialNumber;
    facts.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    std::lock_guard<std::mutex> lock(mutex_);
    folders_[Key(path)] = Held{std::move(folder), facts};
    return true;
  }

  bool IsHeld(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return folders_.count(Key(path)) != 0;
  }

  // Removes a held folder: the hold goes, the name is opened for deletion
  // and deleted only when it is still that folder (and empty). A folder
  // that stays is held again.
  bool Remove(const std::string& path, bool* wasHeld) {
    FileFacts facts;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto held = folders_.find(Key(path));
      *wasHeld = held != folders_.end();
      if (!*wasHeld) return false;
      facts = held->second.facts;
      folders_.erase(held);
    }
    FileHandle folder(::CreateFileW(
        WidePath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FileFacts now;
    const bool same = folder.valid() && FactsOf(folder.get(), &now) && now.volume == facts.volume &&
                      now.index == facts.index;
    if (same && DeleteOnClose(folder.get())) return true;
    folder.Close();
    if (same) Hold(path);
    return false;
  }

  void ReleaseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.clear();
  }

 private:
  struct Held {
    FileHandle folder;
    FileFacts facts;
  };
  static std::string Key(std::string path) {
    if (!path.empty()) ::CharUpperBuffA(&path[0], static_cast<DWORD>(path.size()));
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
  }
  std::mutex mutex_;
  std::map<std::string, Held> folders_;
};

}  // namespace

bool RemoveFolder(const std::string& path) {
  bool held = false;
  const bool removed = HeldFolders::Instance().Remove(path, &held);
  if (held) return removed && !PathExists(path);
  const std::wstring wide = WidePath(path);
  // A read-only folder refuses removal as a read-only file does.
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::RemoveDirectoryW(wide.c_str())) return true;
  // Wine shows a Unix folder link as a junction but removes it as a file.
  return IsFolderLink(path) && ::DeleteFileW(wide.c_str()) != FALSE;
}

bool CreatePrivateFolder(const std::string& path) {
  const std::wstring user = UserSid();
  if (user.empty()) return false;
  // Protected (P): nothing inherited from a share's folder above. Full
  // control for SYSTEM, Administrators and the running user, passed on to
  // every file and folder made inside (OICI).
  const std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  const bool made = ::CreateDirectoryW(WidePath(path).c_str(), &attributes) != FALSE;
  ::LocalFree(descriptor);
  return made && HeldFolders::Instance().Hold(path, true);
}

bool HoldFolder(const std::string& path) { return HeldFolders::Instance().Hold(path); }

bool MakeOwnFolder(const std::string& path) {
  HeldFolders& held = HeldFolders::Instance();
  if (held.IsHeld(path)) return true;
  return ::CreateDirectoryW(WidePath(path).c_str(), nullptr) && held.Hold(path, true);
}

void ReleaseHeldFolders() { HeldFolders::Instance().ReleaseAll(); }

std::string ReadRegularFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  // A device name not in a "\\?\" form (a relative path) opens the device.
  const size_t slash = path.find_last_of('\\');
  if (IsDeviceName(slash == std::string::npos ? path : path.substr(slash + 1)) &&
      VerbatimPath(path).empty()) {
    return "names a device";
  }
  if (path.compare(0, 4, "\\\\.\\") == 0) return "names a device";
  ReleaseAppendHandle(path);
  FileHandle file(::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return kCannotBeRead;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return "is not a regular file";
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      bytes->clear();
      return kCannotBeRead;
    }
    if (got == 0) return std::string();
    bytes->append(buffer, got);
  }
}

bool RewriteOwnFile(const std::string& path, const FileFacts& expected,
                    const std::function<bool(std::string* text)>& change) {
  ReleaseAppendHandle(path);
  FileHandle file(::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FileFacts facts;
  if (!file.valid() || WhatWasOpened(file.get(), path, &facts) != OpenedFile::Plain ||
      facts.links != 1 || facts.volume != expected.volume || facts.index != expected.index) {
    return false;
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) break;
    text.append(buffer, got);
  }
  LARGE_INTEGER start = {};
  return change(&text) && ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) &&
         WriteAll(file.get(), text) && ::SetEndOfFile(file.get());
}

bool FileLock::Take(const std::string& path) {
  Release();
  // Deleting on close through a link would delete its target.
  if (IsLink(path)) return false;
  // No sharing: a second owner's open fails (32) until this handle closes,
  // and the system deletes the file then, even after a crash.
  const HANDLE file = ::CreateFileA(
      path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(file);
  path_ = path;
  return true;
}

void FileLock::Release() {
  if (handle_ == -1) return;
  FileHandle(reinterpret_cast<HANDLE>(handle_)).Close();
  handle_ = -1;
}

void RemoveOpenedFile(FileHandle* file, const std::string& path) {
  RemoveOpenedFile(file, path, WhatWasOpened(file->get(), path));
}

void RemoveOpenedFile(FileHandle* file, const std::string& path, OpenedFile kind) {
  switch (kind) {
    case OpenedFile::Other:
      file->Close();
      return;
    case OpenedFile::Plain:
      // The file goes when this, its last handle, closes.
      if (DeleteOnClose(file->get())) {
        file->Close();
        return;
      }
      break;
    case OpenedFile::Unknown:
      break;
  }
  file->Close();
  RemoveFileNotThroughLink(path);
}

LocalTime Now() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace sys
