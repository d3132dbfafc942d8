#include "pack/tar_writer.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace tar_io {

struct SourceFile::Impl {
  sys::FileHandle file;
  DWORD error = 0;
  // Asked once at the open: the member's header, the link check and the
  // removal all take it from here.
  sys::OpenedFacts facts;
};

SourceFile::SourceFile() : impl_(new Impl) {}
SourceFile::~SourceFile() = default;

bool SourceFile::Open(const std::string& path) {
  sys::ReleaseAppendHandle(path);
  // The name itself, not what a link there points to (Windows; Wine opens
  // the target all the same, which RemoveAndClose finds out).
  impl_->file = sys::FileHandle(
      ::CreateFileW(sys::WidePath(path).c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!impl_->file.valid()) {
    impl_->error = ::GetLastError();
    return false;
  }
  impl_->facts = sys::DescribeOpenedFile(impl_->file.get(), path);
  return true;
}

bool SourceFile::NotAFile() const { return impl_->facts.kind == sys::OpenedFile::Other; }

unsigned long SourceFile::error() const { return impl_->error; }

void SourceFile::RemoveAndClose(const std::string& path) {
  sys::RemoveOpenedFile(&impl_->file, path, impl_->facts.kind);
}

bool SourceFile::Status(const std::string& path, uint64_t* size, int64_t* mtime,
                        std::string* refusal) {
  const sys::OpenedFacts& facts = impl_->facts;
  if (!facts.known) {
    impl_->error = ERROR_GEN_FAILURE;
    return false;
  }
  *size = facts.size;
  const uint64_t ticks =
      (static_cast<uint64_t>(facts.written.dwHighDateTime) << 32) | facts.written.dwLowDateTime;
  // 100 ns steps since 1601-01-01; 11644473600 s lie before 1970-01-01.
  // A member without a time (0) is still worth having.
  *mtime = ticks == 0 ? 0 : static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
  refusal->clear();
  sys::FileFacts written, now;
  if (facts.links > 1) {
    *refusal = "is a hard link (" + std::to_string(facts.links) + " names)";
  } else if (sys::AppendedFileFacts(path, &written) &&
             // Only the run's own lists and logs: the volume is asked of them alone.
             (!sys::FactsOf(impl_->file.get(), &now) || written.volume != now.volume ||
              written.index != now.index)) {
    *refusal = "is no longer the file the run wrote";
  }
  return true;
}

bool SourceFile::Read(unsigned char* buffer, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    DWORD n = 0;
    if (!::ReadFile(impl_->file.get(), buffer + *got, static_cast<DWORD>(size - *got), &n,
                    nullptr)) {
      impl_->error = ::GetLastError();
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

std::string Utf8Name(const std::string& name) {
  const std::wstring wide = sys::WidePath(name);
  if (wide.empty()) return std::string();
  const int count = static_cast<int>(wide.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return name;
  std::string utf8(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

}  // namespace tar_io
