// The privacy scrubber on any bytes, as collected files hold them: no
// crash, and a text fed in pieces comes out as it does whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pack/scrubber.h"

namespace {
Scrubber Make() {
  Scrubber s;
  s.AddName(NameKind::Host, "ws-1", {"WS-1"});
  s.AddName(NameKind::User, "j\xC3\xBC", {"j\xFC"});
  s.AddName(NameKind::Domain, "a.b", {});
  s.AddName(NameKind::Word, "x", {});
  return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Scrubber whole = Make();
  const std::string expected = whole.ScrubText(text);
  Scrubber pieces = Make();
  Scrubber::Stream stream(&pieces);
  std::string out;
  const size_t step = size > 0 ? 1 + data[0] % 7 : 1;
  for (size_t at = 0; at < size; at += step)
    stream.Feed(text.data() + at, step < size - at ? step : size - at, &out);
  stream.Finish(&out);
  if (out != expected) std::abort();
  Scrubber wide = Make();
  Scrubber::Utf16Stream utf16(&wide);
  out.clear();
  if (utf16.Feed(text.data(), size, &out)) utf16.Finish(&out);
  size_t bom = 0;
  JudgeFileKind(text.data(), size, &bom);
  return 0;
}
