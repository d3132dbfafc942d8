#pragma once
// Positioning in a stdio file beyond 2 GiB and cutting it short: what
// stdio itself does not offer portably.

#include <cstdint>
#include <cstdio>

namespace sys {

bool SeekFile(std::FILE* file, uint64_t offset);
// Flushes, then sets the file's end at size.
bool TruncateFile(std::FILE* file, uint64_t size);

}  // namespace sys
