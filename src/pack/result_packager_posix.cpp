#include <sys/stat.h>

#include "pack/result_packager.h"
#include "sys/posix_path.h"

bool ResultFileLength(const std::string& path, uint64_t* length) {
  struct stat info;
  if (::stat(sys::PosixPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *length = static_cast<uint64_t>(info.st_size);
  return true;
}

// No window to own a message box off Windows.
void ShowResultBox(const std::string&, const std::string&) {}
