// The result inspector on any bytes, as a gzip file and, wrapped in gzip,
// as a tar stream: no crash, bounded memory, and a clean verdict only for a
// readable archive.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "result_inspector.h"
#include "result_report.h"
#include "verdict.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

InspectReport InspectBytes(const unsigned char* data, size_t size, size_t piece) {
  size_t at = 0;
  return InspectResult([&](unsigned char* buffer, size_t want) -> long {
    const size_t n = std::min({want, piece, size - at});
    std::memcpy(buffer, data + at, n);
    at += n;
    return static_cast<long>(n);
  });
}

void Check(const InspectReport& report) {
  Require(!report.clean() || (report.readable && report.manifestFound));
  Require(report.missing.size() <= kInspectMaxListed && report.extra.size() <= kInspectMaxListed);
  Require(report.readable == report.error.empty());
  Require(!tovkit::JudgeResult(report, tovkit::LogSummary()).headline.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Odd read sizes exercise the refill paths of the decompressor.
  const size_t piece = size > 0 ? 1 + data[0] % 61 : 1;
  Check(InspectBytes(data, size, piece));

  // Most inputs are no gzip at all; compress them so the tar reader and the
  // manifest check see them too.
  std::string packed(compressBound(static_cast<uLong>(size)) + 32, '\0');
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef*>(&packed[0]);
  z.avail_out = static_cast<uInt>(packed.size());
  const int result = deflate(&z, Z_FINISH);
  const size_t length = z.total_out;
  deflateEnd(&z);
  if (result != Z_STREAM_END) return 0;
  Check(InspectBytes(reinterpret_cast<const unsigned char*>(packed.data()), length, 4096));
  // The report reads the same stream and must stay valid whatever it holds.
  size_t at = 0;
  const tovkit::ResultSummary summary =
      tovkit::ReadResultSummary([&](unsigned char* buffer, size_t want) -> long {
        const size_t n = std::min(want, length - at);
        std::memcpy(buffer, packed.data() + at, n);
        at += n;
        return static_cast<long>(n);
      });
  Require(tovkit::RenderReportHtml(summary, "r.tgz").find("<script>alert") == std::string::npos);
  return 0;
}
