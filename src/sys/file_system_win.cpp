#include "sys/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <algorithm>
#include <mutex>
#include <vector>

#include "sys/folder_walk.h"
#include "sys/handles_win.h"
#include "sys/links.h"

namespace sys {

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
  return file;
}

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
      FileHandle file(Open(path));
      if (!file.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION && !files_.empty()) {
        // The same file held under another spelling of its path.
        files_.clear();
        file.Attach(Open(path));
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

 private:
  static constexpr size_t kMostHeld = 8;
  // A file that is there is appended to only if it is one of its own name:
  // a link put there would have the lines written, or a file made, outside.
  static HANDLE Open(const std::string& path) {
    FileHandle file(::CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.valid()) {
      if (WhatWasOpened(file.get(), path) != OpenedFile::Other) return file.Detach();
      file.Close();
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
      return INVALID_HANDLE_VALUE;
    }
    return CreateOwnHandle(path, FILE_APPEND_DATA, FILE_SHARE_READ, 0).Detach();
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
};

}  // namespace

std::string SystemPath(const std::string& path) { return path; }

bool AppendToFile(const std::string& path, const std::string& bytes) {
  return HeldAppends::Instance().Append(path, bytes);
}

void ReleaseAppendHandle(const std::string& path) { HeldAppends::Instance().Release(path); }

void ReleaseAppendHandles() { HeldAppends::Instance().ReleaseAll(); }

bool FreeBytesAvailable(const std::string& root, uint64_t* bytes) {
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return false;
  *bytes = available.QuadPart;
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* data) {
  data->clear();
  ReleaseAppendHandle(path);
  FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
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
  if (::MoveFileExW(source.c_str(), target.c_str(), flags)) return true;
  // A read-only old result refuses being replaced; a link is never
  // changed, it is replaced whatever its target's attributes.
  if (::GetLastError() != ERROR_ACCESS_DENIED || IsLink(to)) return false;
  ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::MoveFileExW(source.c_str(), target.c_str(), flags) != FALSE;
}

bool RemoveFolder(const std::string& path) {
  const std::wstring wide = WidePath(path);
  // A read-only folder refuses removal as a read-only file does.
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::RemoveDirectoryW(wide.c_str())) return true;
  // Wine shows a Unix folder link as a junction but removes it as a file.
  return IsFolderLink(path) && ::DeleteFileW(wide.c_str()) != FALSE;
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
  switch (WhatWasOpened(file->get(), path)) {
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
