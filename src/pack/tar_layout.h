#pragma once
// The ustar header block: where each field lies and how wide it is. The
// writer and tovkit's reader both take their offsets from here.

#include <cstddef>

namespace tar_layout {

constexpr size_t kBlockSize = 512;
constexpr size_t kNameAt = 0, kNameWidth = 100;
constexpr size_t kModeAt = 100, kUidAt = 108, kGidAt = 116;
constexpr size_t kSizeAt = 124, kSizeWidth = 12;
constexpr size_t kMtimeAt = 136;
constexpr size_t kChecksumAt = 148, kChecksumWidth = 8;
constexpr size_t kTypeAt = 156;
constexpr char kRegularType = '0', kPaxType = 'x', kPaxGlobalType = 'g';
constexpr size_t kMagicAt = 257, kVersionAt = 263;
constexpr size_t kUnameAt = 265, kGnameAt = 297;
constexpr size_t kDevMajorAt = 329, kDevMinorAt = 337;
constexpr size_t kPrefixAt = 345, kPrefixWidth = 155;

}  // namespace tar_layout
