#include <windows.h>

#include <vector>

#include "collect/file_version_collector.h"
#include "sys/code_page_win.h"
#include "sys/handles_win.h"

namespace {

// A file's version information, read once for all the strings of its row.
class VersionResource {
 public:
  // Wide calls, so that a name the code page cannot hold has its version
  // read too.
  explicit VersionResource(const std::string& path) {
    const std::wstring wide = sys::WidePath(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return;
    data_.assign(size, 0);
    void* value = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoW(wide.c_str(), 0, size, data_.data()) ||
        !::VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        !FirstTranslation(value, length, &language_, &codePage_)) {
      data_.clear();
    }
  }

  std::string String(const std::string& name) {
    if (data_.empty()) return std::string();
    void* value = nullptr;
    UINT length = 0;
    const std::wstring lookup = sys::WideText(VersionStringPath(language_, codePage_, name));
    if (!::VerQueryValueW(data_.data(), lookup.c_str(), &value, &length) || value == nullptr) {
      return std::string();
    }
    // The length may or may not count the terminator.
    const wchar_t* wide = static_cast<const wchar_t*>(value);
    size_t size = 0;
    while (size < length && wide[size] != L'\0') ++size;
    std::string text;
    if (!sys::CodePageText(wide, size, 0, &text)) return std::string();
    return CommasToDots(text);
  }

 private:
  std::vector<char> data_;
  uint16_t language_ = 0;
  uint16_t codePage_ = 0;
};

sys::LocalTime LocalCalendarTime(const FILETIME& time) {
  FILETIME local;
  SYSTEMTIME fields;
  if (!::FileTimeToLocalFileTime(&time, &local) || !::FileTimeToSystemTime(&local, &fields)) {
    return sys::LocalTime{};
  }
  return sys::LocalTime{fields.wYear, fields.wMonth,  fields.wDay,
                        fields.wHour, fields.wMinute, fields.wSecond};
}

}  // namespace

std::string QueryVersionString(const std::string& path, const std::string& name) {
  return VersionResource(path).String(name);
}

FileFacts ReadFileFacts(const std::string& path) {
  FileFacts facts;
  // No access asked: attribute queries only, so locked files can be listed.
  const std::wstring wide = sys::WidePath(path);
  sys::FileHandle file(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (file.valid() && ::GetFileSizeEx(file.get(), &size)) {
    facts.opened = true;
    facts.size = static_cast<uint64_t>(size.QuadPart);
    FILETIME created, accessed, written;
    if (::GetFileTime(file.get(), &created, &accessed, &written)) {
      facts.created = LocalCalendarTime(created);
      facts.accessed = LocalCalendarTime(accessed);
      facts.modified = LocalCalendarTime(written);
    }
  }
  facts.attributes = ::GetFileAttributesW(wide.c_str());
  return facts;
}

void FileVersionCollector::ListCurrentFile() {
  CountMatch();
  std::string versions[kVersionStringCount];
  VersionResource resource(currentFile());
  for (size_t i = 0; i < kVersionStringCount; ++i) {
    versions[i] = resource.String(kVersionStringNames[i]);
  }
  const FileFacts facts = ReadFileFacts(currentFile());
  LogFile(outputPath()).AppendLine(FormatFileVersionRow(currentFile(), facts, versions));
}

void FileVersionsAction(ActionRequest& request) {
  FileVersionCollector collector(request.outputPath, request.context, request.value,
                                 request.tempFolder);
  collector.Run(ListMode);
}
