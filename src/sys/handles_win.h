#pragma once
// One small owner per Win32 handle kind. Each knows its empty value, closes
// once (Close is safe to call twice) and cannot be copied, only moved.

#include <windows.h>
// after windows.h
#include <objbase.h>

#include <string>
#include <utility>

namespace sys {

template <typename T, T Empty, typename Closer>
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
  bool valid() const { return value_ != Empty; }
  explicit operator bool() const { return valid(); }

  void Attach(T value) {
    Close();
    value_ = value;
  }
  T Detach() { return std::exchange(value_, Empty); }
  void Close() {
    if (value_ != Empty) Closer()(std::exchange(value_, Empty));
  }

 private:
  T value_ = Empty;
};

struct CloseHandleFn {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct FindCloseFn {
  void operator()(HANDLE h) const { ::FindClose(h); }
};
struct RegCloseKeyFn {
  void operator()(HKEY h) const { ::RegCloseKey(h); }
};
struct FreeLibraryFn {
  void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
struct DestroyIconFn {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};

// Files and find handles use INVALID_HANDLE_VALUE for "none"; the rest NULL.
// (A template argument cannot be INVALID_HANDLE_VALUE itself, hence the
// wrappers below.)
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  FileHandle& operator=(FileHandle&& o) noexcept {
    if (this != &o) {
      Close();
      h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  void Close() {
    if (valid()) ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

using KernelHandle = UniqueHandle<HANDLE, nullptr, CloseHandleFn>;  // threads, processes
using RegKey = UniqueHandle<HKEY, nullptr, RegCloseKeyFn>;
using Module = UniqueHandle<HMODULE, nullptr, FreeLibraryFn>;
using Icon = UniqueHandle<HICON, nullptr, DestroyIconFn>;  // not for shared (LR_SHARED) icons

// A file search: First() starts it, Next() steps on; the data of the current
// match is in data(). Closed by the destructor.
class FileFind {
 public:
  FileFind() = default;
  ~FileFind() { Close(); }
  FileFind(const FileFind&) = delete;
  FileFind& operator=(const FileFind&) = delete;

  // False when nothing matches (GetLastError: 2 no file, 3 no folder).
  bool First(const std::string& pattern) {
    Close();
    h_ = ::FindFirstFileA(pattern.c_str(), &data_);
    return h_ != INVALID_HANDLE_VALUE;
  }
  bool Next() { return h_ != INVALID_HANDLE_VALUE && ::FindNextFileA(h_, &data_) != FALSE; }
  void Close() {
    if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
  const WIN32_FIND_DATAA& data() const { return data_; }
  std::string name() const { return data_.cFileName; }
  bool isFolder() const { return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool isDots() const {
    return data_.cFileName[0] == '.' &&
           (data_.cFileName[1] == 0 || (data_.cFileName[1] == '.' && data_.cFileName[2] == 0));
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data_{};
};

// CoInitialize/CoUninitialize on one thread, only when it answered S_OK.
class ComApartment {
 public:
  ComApartment() : hr_(::CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace sys
