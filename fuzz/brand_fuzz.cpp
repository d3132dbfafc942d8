// The brand block as tovkit and the program read it, from any bytes: no
// crash, and a block that parses builds back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "run/brand.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input as the records of a block with a valid head, and as a file.
  std::string block = EmptyBrandBlock();
  const size_t used =
      size < kBrandBlockSize - kBrandHeadSize ? size : kBrandBlockSize - kBrandHeadSize;
  block.replace(kBrandHeadSize, used, reinterpret_cast<const char*>(data), used);
  for (int i = 0; i < 4; ++i) block[24 + i] = static_cast<char>((used >> (8 * i)) & 0xff);
  BrandCertificates found;
  const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
  if (ParseBrandBlock(bytes, block.size(), &found)) {
    std::string again;
    Require(BuildBrandBlock(found, &again));
    BrandCertificates back;
    Require(
        ParseBrandBlock(reinterpret_cast<const unsigned char*>(again.data()), again.size(), &back));
    Require(back.trust == found.trust && back.recipient == found.recipient);
  }
  ReadBrand(bytes, block.size());

  const std::string file(reinterpret_cast<const char*>(data), size);
  size_t offset = 0;
  if (FindBrandBlock(file, &offset)) {
    Require(offset + kBrandBlockSize <= file.size());
    ReadBrand(reinterpret_cast<const unsigned char*>(file.data()) + offset, file.size() - offset);
  }
  return 0;
}
