#pragma once
// One small owner per Win32 handle kind. Each knows its empty value, closes
// once (Close is safe to call twice) and cannot be copied, only moved.

#include <windows.h>

#include <cwchar>
#include <string>
#include <utility>

#include "sys/code_page_win.h"
#include "sys/file_system.h"

namespace sys {

// What "no handle" is: NULL for most kinds.
template <typename T>
struct NullIsEmpty {
  static T Value() { return nullptr; }
  static bool Valid(T value) { return value != nullptr; }
};

// Files: CreateFile answers INVALID_HANDLE_VALUE, and a NULL is no file either.
struct InvalidIsEmpty {
  static HANDLE Value() { return INVALID_HANDLE_VALUE; }
  static bool Valid(HANDLE value) { return value != INVALID_HANDLE_VALUE && value != nullptr; }
};

template <typename T, typename Closer, typename Empty = NullIsEmpty<T>>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { Close(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Detach()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }

  T get() const { return value_; }
  bool valid() const { return Empty::Valid(value_); }
  explicit operator bool() const { return valid(); }

  void Attach(T value) {
    Close();
    value_ = value;
  }
  T Detach() { return std::exchange(value_, Empty::Value()); }
  void Close() {
    const T value = Detach();
    if (Empty::Valid(value)) Closer()(value);
  }

 private:
  T value_ = Empty::Value();
};

// The close call of a handle kind, as a type (its result is of no use).
template <typename T, typename Result, Result(WINAPI* Close)(T)>
struct CloseWith {
  void operator()(T handle) const { Close(handle); }
};
using CloseHandleFn = CloseWith<HANDLE, BOOL, ::CloseHandle>;
using FindCloseFn = CloseWith<HANDLE, BOOL, ::FindClose>;
using RegCloseKeyFn = CloseWith<HKEY, LONG, ::RegCloseKey>;
using FreeLibraryFn = CloseWith<HMODULE, BOOL, ::FreeLibrary>;
using CloseEventLogFn = CloseWith<HANDLE, BOOL, ::CloseEventLog>;
using DestroyIconFn = CloseWith<HICON, BOOL, ::DestroyIcon>;

using FileHandle = UniqueHandle<HANDLE, CloseHandleFn, InvalidIsEmpty>;
using KernelHandle = UniqueHandle<HANDLE, CloseHandleFn>;  // threads, processes
using RegKey = UniqueHandle<HKEY, RegCloseKeyFn>;
using Module = UniqueHandle<HMODULE, FreeLibraryFn>;
using EventLog = UniqueHandle<HANDLE, CloseEventLogFn>;
using Icon = UniqueHandle<HICON, DestroyIconFn>;  // not for shared (LR_SHARED) icons

// A file search: First() starts it, Next() steps on; the current match is
// told by name() and attributes(). Closed by the destructor. Searches go
// through the wide API, so a name the code page cannot hold comes back
// whole, with escapes (code_page_win.h), instead of with "?" for its
// characters; a pattern may hold escapes too.
class FileFind {
 public:
  FileFind() = default;
  FileFind(const FileFind&) = delete;
  FileFind& operator=(const FileFind&) = delete;

  // False when nothing matches (GetLastError: 2 no file, 3 no folder).
  bool First(const std::string& pattern) {
    h_.Close();  // first: closing must not overwrite the search's error code
    h_.Attach(::FindFirstFileW(WidePath(pattern).c_str(), &data_));
    return h_.valid();
  }
  bool Next() { return h_.valid() && ::FindNextFileW(h_.get(), &data_) != FALSE; }
  void Close() { h_.Close(); }
  std::string name() const { return NarrowName(data_.cFileName, wcslen(data_.cFileName)); }
  DWORD attributes() const { return data_.dwFileAttributes; }
  bool isFolder() const { return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool isLink() const { return (data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
  bool isDots() const {
    return data_.cFileName[0] == L'.' &&
           (data_.cFileName[1] == 0 || (data_.cFileName[1] == L'.' && data_.cFileName[2] == 0));
  }

 private:
  UniqueHandle<HANDLE, FindCloseFn, InvalidIsEmpty> h_;
  WIN32_FIND_DATAW data_{};
};

// A new file of the run's own at `path` (CreateOwnFile's rule: created
// where nothing is, a left-over file removed first, a link only as a link),
// opened with `access`, `share` and the extra `flags`; invalid on failure,
// with the system's error.
FileHandle CreateOwnHandle(const std::string& path, DWORD access, DWORD share, DWORD flags);

// What a handle opened by `path` with FILE_FLAG_OPEN_REPARSE_POINT holds,
// asked before anything is deleted through it: the run never deletes
// through a link. A link is a reparse point on Windows; under Wine, where a
// Unix link opens as its target and shows no reparse attribute, it is a
// handle the system resolves to another folder or name than the path's.
enum class OpenedFile {
  Plain,    // a regular file under exactly that name
  Other,    // a link, a folder or a device: never deleted through
  Unknown,  // the system cannot tell (no such call, or it failed)
};
// With `facts`, also what the same query tells of the file (left as it
// was when the system cannot tell).
OpenedFile WhatWasOpened(HANDLE file, const std::string& path, FileFacts* facts = nullptr);

// What packing needs of an open file, with what WhatWasOpened tells, in one
// query where that costs Wine three (no volume: FactsOf has it).
struct OpenedFacts {
  OpenedFile kind = OpenedFile::Unknown;
  bool known = false;  // the fields below were told
  uint64_t size = 0;
  FILETIME written{};  // last change
  uint32_t links = 0;  // the file's names (hard links)
  uint64_t index = 0;
};
OpenedFacts DescribeOpenedFile(HANDLE file, const std::string& path);

// The facts of an open file, in one query; false when the system cannot tell.
bool FactsOf(HANDLE file, FileFacts* facts);

// Marks the file open as `file` (with DELETE access) to go when its last
// handle closes; false when the system refuses (a read-only file).
bool DeleteOnClose(HANDLE file);

// Deletes the file open as `file` (opened by `path` with DELETE access and
// FILE_FLAG_OPEN_REPARSE_POINT) through that handle, which spares another
// open, and closes the handle. What is not Plain is left where it is; when
// the system cannot tell, or refuses (a read-only file), the path is
// deleted as RemoveFile does.
void RemoveOpenedFile(FileHandle* file, const std::string& path);
// The same, when what the handle holds was asked already.
void RemoveOpenedFile(FileHandle* file, const std::string& path, OpenedFile kind);

}  // namespace sys
