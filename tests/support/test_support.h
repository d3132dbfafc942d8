#pragma once
// Helpers shared by the tests: scratch folders, whole-file reads, signed texts.

#include <gtest/gtest.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace testing_support {

// A fresh, empty folder for one test, removed again by the destructor.
// Natively under the system's temporary folder; under Wine on drive D:
// (mapped by the harness) or C: when D: is missing.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& tag = "t");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  // path() + separator + name
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);
#ifndef _WIN32
// A file no one can open, not even root: a bound Unix socket.
void MakeUnopenableFile(const std::string& path);
#endif
// The lines of a CR LF text file, without their line ends.
std::vector<std::string> FileLines(const std::string& path);
// Equal bytes; otherwise sizes, check values and the first difference, so
// that a mismatch of megabytes fails in a line rather than a diff of them.
testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);
// The text with its signature in place, as tovkit signs scripts and lists.
std::string Signed(std::string text);
// A tovkit command run with `args`: its exit status, a space, then what it
// wrote to stdout and stderr.
std::string Tovkit(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
                   const std::vector<std::string>& args);

}  // namespace testing_support
