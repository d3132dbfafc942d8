#include "pack/result_packager.h"
#include "run/run_settings.h"
#include "sys/handles_win.h"

bool ResultFileLength(const std::string& path, uint64_t* length) {
  sys::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) return false;
  *length = static_cast<uint64_t>(size.QuadPart);
  return true;
}

void ShowResultBox(const std::string& text, const std::string& title) {
  ::MessageBoxA(static_cast<HWND>(Settings().mainWindow), text.c_str(), title.c_str(), MB_OK);
}
