#include <cstdio>
#include <vector>

#include "pack/scrub_pass.h"
#include "sys/file_system.h"

// No machine facts off Windows: callers give their names themselves.
std::vector<PrivateName> MachineNames(int* codePage) {
  *codePage = 1252;
  return {};
}

bool ReadPieces(const std::string& path, const std::function<bool(const char*, size_t)>& piece) {
  std::FILE* file = std::fopen(sys::SystemPath(path).c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<char> buffer(1u << 20);
  bool ok = true;
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
    if (got > 0 && !piece(buffer.data(), got)) {
      ok = false;
      break;
    }
    if (got < buffer.size()) {
      ok = std::ferror(file) == 0;
      break;
    }
  }
  std::fclose(file);
  return ok;
}
