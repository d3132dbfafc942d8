#pragma once
// What tovkit reads and writes. An input must be a regular file: a FIFO
// would wait for a writer, a device might never end, a folder reads as
// nothing. And no output may be one of the inputs.

#include <cstdio>
#include <string>
#include <vector>

namespace tovkit {

// Opens an input file for reading (the caller closes it); a link to a
// regular file counts as one. Never waits. nullptr, with *why "no such
// file", "cannot be read (reason)", "is a folder" or "is not a regular
// file", when it cannot be used.
std::FILE* OpenInputFile(const std::string& path, std::string* why);

// The whole input file; false, with *why set as OpenInputFile sets it,
// when it cannot be opened or read.
bool ReadInputFile(const std::string& path, std::string* bytes, std::string* why);

// Whether `output` names one of the inputs: the same path, or another name
// (a link, a second hard link) for the same file.
bool IsOneOfInputs(const std::string& output, const std::vector<std::string>& inputs);

}  // namespace tovkit
