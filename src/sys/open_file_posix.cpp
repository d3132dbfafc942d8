#include <sys/types.h>
#include <unistd.h>

#include "sys/open_file.h"

namespace sys {

bool SeekFile(std::FILE* file, uint64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool TruncateFile(std::FILE* file, uint64_t size) {
  return std::fflush(file) == 0 && ::ftruncate(::fileno(file), static_cast<off_t>(size)) == 0;
}

}  // namespace sys
