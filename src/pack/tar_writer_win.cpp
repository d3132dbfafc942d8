#include "pack/tar_writer.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace tar_io {

struct SourceFile::Impl {
  sys::FileHandle file;
};

SourceFile::SourceFile() : impl_(new Impl) {}
SourceFile::~SourceFile() = default;

bool SourceFile::Open(const std::string& path) {
  sys::ReleaseAppendHandle(path);
  // The name itself, not what a link there points to (Windows; Wine opens
  // the target all the same, which RemoveAndClose finds out).
  impl_->file = sys::FileHandle(
      ::CreateFileA(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return impl_->file.valid();
}

void SourceFile::RemoveAndClose(const std::string& path) {
  sys::RemoveOpenedFile(&impl_->file, path);
}

bool SourceFile::Status(uint64_t* size, int64_t* mtime) {
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(impl_->file.get(), &length)) return false;
  *size = static_cast<uint64_t>(length.QuadPart);
  FILETIME written;
  *mtime = 0;  // a member without a time is still worth having
  if (::GetFileTime(impl_->file.get(), nullptr, nullptr, &written)) {
    const uint64_t ticks =
        (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    // 100 ns steps since 1601-01-01; 11644473600 s lie before 1970-01-01.
    *mtime = static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
  }
  return true;
}

bool SourceFile::Read(unsigned char* buffer, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    DWORD n = 0;
    if (!::ReadFile(impl_->file.get(), buffer + *got, static_cast<DWORD>(size - *got), &n,
                    nullptr)) {
      return false;
    }
    if (n == 0) break;
    *got += n;
  }
  return true;
}

bool IsLeadByte(unsigned char byte) {
  // Asked for every byte of every member name: the code page's answers are
  // taken once.
  static const struct Table {
    bool lead[256];
    Table() {
      for (int b = 0; b < 256; ++b) lead[b] = ::IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
    }
  } table;
  return table.lead[byte];
}

}  // namespace tar_io
