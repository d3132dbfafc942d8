#pragma once
// The result file: the result folder as a tar stream inside one gzip file,
// and the message that tells the user where it is and how large it is.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pack/tar_writer.h"

// From this size on the report warns that the file may be too large for
// e-mail.
constexpr uint64_t kSizeWarningBytes = 1450000;

// A copy branded with a recipient writes its result encrypted, under this
// extension added to the chosen path.
constexpr char kEnvelopeExtension[] = ".p7m";
std::string ResultFilePath(const std::string& chosenPath);

// Length in KB of 1024 bytes, rounded down, at least 1.
uint64_t ReportKilobytes(uint64_t length);

// The report's format text (possibly from the localisation file) with the
// path for its first conversion and the KB for its second. Only "%s", "%d",
// "%i", "%u" (flags and width ignored) and "%%" are understood; anything
// else stays as written, so a translated text can never read arguments
// that are not there.
std::string FormatReportMessage(const std::string& format, const std::string& path,
                                uint64_t kilobytes);

// Message plus, from kSizeWarningBytes on, the size warning.
std::string ResultReportText(const std::string& format, const std::string& sizeWarning,
                             const std::string& outputPath, uint64_t length);

// Edges: the result file's length (false when it cannot be opened), and the
// message box owned by the main window (nothing off Windows).
bool ResultFileLength(const std::string& path, uint64_t* length);
void ShowResultBox(const std::string& text, const std::string& title);

// What the run asks of its packing beyond the files themselves.
struct PackChecks {
  // The CRC the manifest lists for a file (its path below the folder);
  // false when it lists none. A member whose bytes differ was changed while
  // packed.
  std::function<bool(const std::string& relative, uint32_t* crc)> listedCrc;
  // Files not to be opened at all (may be empty): true leaves one out.
  std::function<bool(const std::string& relative)> leaveOut;
  // Asked before the result is made and before it is moved into place:
  // false when its folder is no longer the one the run began in.
  std::function<bool()> destinationIntact;
  // Receives what was not packed as listed (when given).
  std::vector<PackGap>* gaps = nullptr;
};

class ResultPackager {
 public:
  // Packs resultFolder into the gzip file outputPath, removing what was
  // archived. A result file that cannot be created sets writeFailed and
  // leaves nothing; a failed write or close raises both run flags.
  // True when the result file is complete (not after a stop request).
  // *fileWritten (when given) tells whether the result file itself was
  // written and closed, complete or not.
  static bool Compress(const std::string& resultFolder, const std::string& outputPath,
                       bool* fileWritten = nullptr, const PackChecks* checks = nullptr);

  // The report's text, when one is due: not with "/outfile=" or "/silent",
  // not without a readable result file.
  static bool ReportText(const std::string& outputPath, std::string* text);

  // Where the result is and how large, in the report's words; false
  // without a readable result file.
  static bool DescribeResult(const std::string& outputPath, std::string* text);

  // Shows the report, when due, and waits until the user closes it.
  static void Report(const std::string& outputPath);
};
