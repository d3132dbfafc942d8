#include "pack/manifest_format.h"

#include "run/text.h"

std::string ManifestRow(uint32_t crc, const std::string& relativePath,
                        const std::string& sourcePath) {
  std::string row = CrcText(crc);
  row.reserve(row.size() + relativePath.size() + sourcePath.size() + 2);
  row += ',';
  row += relativePath;
  row += ',';
  row += sourcePath;
  return row;
}
