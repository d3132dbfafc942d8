#include "pack/result_packager.h"

#include <cstdio>

#include "pack/envelope_output.h"
#include "pack/parallel_gzip.h"
#include "pack/tar_writer.h"
#include "run/brand.h"
#include "run/local_text.h"
#include "run/progress.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "sys/file_system.h"
#include "sys/links.h"

namespace {

// The tar stream into the result's gzip file, compressed on every core.
class GzBlockSink : public TarBlockSink {
 public:
  explicit GzBlockSink(ParallelGzipWriter* gzip) : gzip_(gzip) {}
  bool WriteBlock(const unsigned char* block) override {
    return gzip_->Write(block, kTarBlockSize);
  }
  // Lets archived files go early: their members are in the file then.
  bool Flush() override { return gzip_->Flush(); }

 private:
  ParallelGzipWriter* gzip_;
};

// The recipient a branded copy encrypts its result for, or null.
const Certificate* Recipient() {
  const Brand& brand = ProgramBrand();
  return brand.state == Brand::State::Branded && brand.hasRecipient ? &brand.recipient : nullptr;
}

}  // namespace

std::string ResultFilePath(const std::string& path) {
  return Recipient() == nullptr || path.empty() ? path : path + kEnvelopeExtension;
}

uint64_t ReportKilobytes(uint64_t length) { return length < 1024 ? 1 : length / 1024; }

std::string FormatReportMessage(const std::string& format, const std::string& path,
                                uint64_t kilobytes) {
  const std::string values[2] = {path, std::to_string(kilobytes)};
  size_t used = 0;
  std::string out;
  out.reserve(format.size() + path.size() + 20);
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < format.size() &&
           std::string("-+ #0123456789.").find(format[end]) != std::string::npos) {
      ++end;
    }
    const char conversion = end < format.size() ? format[end] : '\0';
    const bool known =
        conversion == 's' || conversion == 'd' || conversion == 'i' || conversion == 'u';
    if (!known || used == 2) {
      out += '%';  // as written
      continue;
    }
    out += values[used++];
    i = end;
  }
  return out;
}

std::string ResultReportText(const std::string& format, const std::string& sizeWarning,
                             const std::string& outputPath, uint64_t length) {
  std::string text = FormatReportMessage(format, outputPath, ReportKilobytes(length));
  if (length >= kSizeWarningBytes) text += sizeWarning;
  return text;
}

bool ResultPackager::Compress(const std::string& resultFolder, const std::string& outputPath,
                              bool* fileWritten, const PackChecks* checks) {
  if (fileWritten != nullptr) *fileWritten = false;
  // A folder swapped for a link would take the result somewhere else.
  const auto destinationIntact = [checks] {
    return checks == nullptr || !checks->destinationIntact || checks->destinationIntact();
  };
  ReportProgress(LocalText("Archive", "WorkMsg", "Compressing results"), 0);
  ReportDetail(NameOf(outputPath));
  const Certificate* recipient = Recipient();
  // Written under a name of its own and moved into place when done: what
  // is at the final name (an old result, a link) is replaced, never
  // written through. The envelope reads its content back when it has to
  // move it.
  const std::string working = sys::WorkingNameFor(outputPath);
  std::FILE* file =
      destinationIntact() ? sys::CreateOwnFile(working, recipient != nullptr) : nullptr;
  if (file == nullptr) {
    Settings().writeFailed = true;
    ReportDetail("...");
    return false;
  }
  std::setvbuf(file, nullptr, _IOFBF, 128 * 1024);  // fewer, larger writes to the file
  std::unique_ptr<OutputSink> output;
  if (recipient != nullptr)
    output = std::make_unique<EnvelopeOutput>(file, *recipient);
  else
    output = std::make_unique<FileOutput>(file);
  ParallelGzipWriter gzip(std::move(output));
  GzBlockSink sink(&gzip);
  TarWriter writer(&sink);
  if (checks != nullptr) {
    writer.SetListedCrc(checks->listedCrc);
    writer.SetLeaveOut(checks->leaveOut);
  }
  writer.AddFolder(outputPath, resultFolder);
  // After a user's stop the rest is not missing but not yet packed.
  if (!Settings().stopRequested || Settings().writeFailed) writer.AddNotPackedRecord(outputPath);
  writer.Finish(outputPath);
  const bool closed =
      gzip.Finish() && destinationIntact() && sys::MoveIntoPlace(working, outputPath);
  if (checks != nullptr && checks->gaps != nullptr) *checks->gaps = writer.gaps();
  if (!closed) {
    // Every file it holds is kept in the result folder.
    sys::RemoveFileNotThroughLink(working);
    RaiseWriteFailure();
  }
  if (fileWritten != nullptr) *fileWritten = closed;
  // Files leave the result folder only once the result file holds them.
  writer.Settle(closed);
  ReportDetail("...");
  // A stop leaves the stream closed but not complete.
  return closed && !Settings().writeFailed && !Settings().stopRequested;
}

bool ResultPackager::ReportText(const std::string& outputPath, std::string* text) {
  const RunSettings& run = Settings();
  if (!run.outFile.empty() || run.silent) return false;
  if (!DescribeResult(outputPath, text)) return false;
  if (!run.scrubMap.empty()) {
    *text += FillPlaceholder(LocalText("Privacy", "MapMessage",
                                       "\n\nThe result is scrubbed. What each pseudonym stands "
                                       "for is in %s: keep that file, do not send it."),
                             run.scrubMap);
  }
  return true;
}

bool ResultPackager::DescribeResult(const std::string& outputPath, std::string* text) {
  uint64_t length = 0;
  if (!ResultFileLength(outputPath, &length)) return false;
  const std::string sizeWarning =
      LocalText("ClearText", "WarningSizeMessage",
                "\n\nThe file exceeds 1.44 MB and might be inappropriate to transmit as an "
                "e-mail attachment over a low-bandwidth Internet connection.");
  const Certificate* recipient = Recipient();
  if (recipient != nullptr) {
    // The certificate's subject follows the text, which can then be localised
    // with the two values the clear-text one has.
    *text = ResultReportText(
                LocalText("ClearText", "EncryptedMessage",
                          "TOV Tool result file name:  %s\nTOV Tool result file size:  %d KB\n\n"
                          "The file is encrypted. Only the holder of the key of this "
                          "certificate can read it:\n"),
                "", outputPath, length) +
            recipient->subject + (length >= kSizeWarningBytes ? sizeWarning : std::string());
    return true;
  }
  *text = ResultReportText(
      LocalText("ClearText", "WarningMessage",
                "TOV Tool result file name:  %s\nTOV Tool result file size:  %d KB\n\n"
                "IMPORTANT: The information in the file is stored in an easily readable "
                "format. You might want to encrypt the file before sending it to your support "
                "representative."),
      sizeWarning, outputPath, length);
  return true;
}

void ResultPackager::Report(const std::string& outputPath) {
  std::string text;
  if (ReportText(outputPath, &text))
    ShowResultBox(text, LocalText("Tool", "Title", "Brindle Tool"));
}
