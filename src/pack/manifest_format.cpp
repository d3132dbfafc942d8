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

namespace {
constexpr char kNotPackedStem[] = "Not Packed";
}  // namespace

std::string NotPackedName(int n) {
  return std::string(kNotPackedStem) + (n < 2 ? "" : " (" + std::to_string(n) + ")") + ".csv";
}

bool IsNotPackedName(const std::string& memberName) {
  const std::string stem = kNotPackedStem;
  if (memberName == NotPackedName(1)) return true;
  if (memberName.compare(0, stem.size() + 2, stem + " (") != 0) return false;
  const size_t close = memberName.find(')', stem.size() + 2);
  if (close == std::string::npos || memberName.compare(close, std::string::npos, ").csv") != 0) {
    return false;
  }
  const std::string digits = memberName.substr(stem.size() + 2, close - stem.size() - 2);
  if (digits.empty() || digits.size() > 6 || digits[0] == '0') return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoi(digits) >= 2;
}

std::string NotPackedRow(const std::string& reason, const std::string& relativePath) {
  return reason + "," + relativePath;
}
