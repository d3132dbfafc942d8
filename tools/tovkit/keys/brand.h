#pragma once
// tovkit brand: a copy of brindle.exe that carries the organisation's
// certificates, and what a copy carries.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

int Brand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The PE checksum as the loader's CheckSumMappedFile computes it; the
// field at checksumOffset counts as zero.
uint32_t PeChecksum(const std::string& file, size_t checksumOffset);

}  // namespace tovkit
