#pragma once
// What tovkit reads and writes. An input must be a regular file: a FIFO
// would wait for a writer, a device might never end, a folder reads as
// nothing. An output is written only into a file tovkit created itself,
// beside its target, and then moved over the target's name: a link planted
// at either name is never written through, and a failure leaves no half
// file under the target's name. And no output may be one of the inputs.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenedFile = std::unique_ptr<std::FILE, FileCloser>;

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

// The folder an output goes into ("." for a bare name).
std::string FolderOfOutput(const std::string& path);

class OutputFile {
 public:
  explicit OutputFile(std::string target) : target_(std::move(target)) {}
  ~OutputFile();  // a temporary file never committed is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside the target, where nothing is; false
  // with *why when it cannot.
  bool Open(std::string* why);
  std::FILE* file() const { return file_; }
  // Closes the temporary file and gives it the target's name: over
  // whatever has that name when `replace` (a link there is replaced as a
  // link), else only where nothing is. False with *why, the temporary file
  // removed, when a write or the move failed.
  bool Commit(bool replace, std::string* why);

 private:
  std::string target_, temporary_;
  std::FILE* file_ = nullptr;
};

// The whole output at once, as OutputFile writes it.
bool WriteOutputFile(const std::string& target, const std::string& bytes, bool replace,
                     std::string* why);

}  // namespace tovkit
