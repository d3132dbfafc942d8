#include "run/brand.h"

namespace {

// The reserved block, in a section of its own. tovkit rewrites it in a
// copy of the executable; the compiler must not assume its contents, so it
// is only read through a volatile pointer.
#define BRAND_HEAD                                                                             \
  'B', 'R', 'I', 'N', 'D', 'L', 'E', '-', 'B', 'R', 'A', 'N', 'D', '-', '1', '\n', 1, 0, 0, 0, \
      (kBrandBlockSize - kBrandHeadSize) & 0xff, (kBrandBlockSize - kBrandHeadSize) >> 8, 0, 0
__attribute__((section(".brand"), used))
const unsigned char kProgramBrandBlock[kBrandBlockSize] = {BRAND_HEAD};
#undef BRAND_HEAD

}  // namespace

const Brand& ProgramBrand() {
  static const Brand brand = [] {
    std::string copy(kBrandBlockSize, '\0');
    const volatile unsigned char* block = kProgramBrandBlock;
    for (size_t i = 0; i < kBrandBlockSize; ++i) copy[i] = static_cast<char>(block[i]);
    return ReadBrand(reinterpret_cast<const unsigned char*>(copy.data()), copy.size());
  }();
  return brand;
}
