#include <io.h>
#include <windows.h>

#include "sys/open_file.h"

namespace sys {

bool SeekFile(std::FILE* file, uint64_t offset) {
  return ::fseeko64(file, static_cast<_off64_t>(offset), SEEK_SET) == 0;
}

bool TruncateFile(std::FILE* file, uint64_t size) {
  if (std::fflush(file) != 0) return false;
  // The handle stays stdio's; only its end moves.
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  return handle != INVALID_HANDLE_VALUE && ::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(handle) && SeekFile(file, size);
}

}  // namespace sys
