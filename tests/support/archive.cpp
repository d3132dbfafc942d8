#include "support/archive.h"

#include <cstdio>

#include "result_inspector.h"

namespace testing_support {

std::map<std::string, std::string> ReadArchive(const std::string& path) {
  std::map<std::string, std::string> members;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return members;
  GzipReader gzip([file](unsigned char* buffer, size_t size) -> long {
    const size_t got = std::fread(buffer, 1, size, file);
    return std::ferror(file) ? -1 : static_cast<long>(got);
  });
  TarReader tar(&gzip);
  TarEntry entry;
  while (tar.Next(&entry) == TarReader::kEntry) {
    std::string& data = members[entry.name];
    if (!tar.ReadData([&data](const unsigned char* bytes, size_t size) {
          data.append(reinterpret_cast<const char*>(bytes), size);
        })) {
      break;
    }
  }
  std::fclose(file);
  return members;
}

}  // namespace testing_support
