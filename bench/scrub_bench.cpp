// Privacy scrubbing speed on one core: a log-like text with names,
// addresses and paths, fed in 1 MiB pieces as the run feeds files.
// Prints MB/s; the target is at least 50.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "pack/scrubber.h"

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::stoul(argv[1]) : 64;
  std::string text;
  for (unsigned i = 0; text.size() < megabytes << 20; ++i) {
    text +=
        "05/03/2024 09:07:03,INFORMATION,Copied C:\\Users\\jsmith\\AppData\\Local\\Temp\\setup" +
        std::to_string(i) + ".log from WS-JSMITH (10.1." + std::to_string(i % 256) +
        ".7, fe80::1c2:3ff:fe4d:" + std::to_string(i % 9999) +
        ") for jsmith@acme.local; adapter 00-1A-2B-3C-4D-5E, version 6.1.7601.17514, "
        "the quick brown fox jumps over the lazy dog\r\n";
  }
  Scrubber scrubber;
  scrubber.AddName(NameKind::Host, "WS-JSMITH", {});
  scrubber.AddName(NameKind::User, "jsmith", {});
  scrubber.AddName(NameKind::User, "administrator2", {});
  scrubber.AddName(NameKind::Domain, "acme.local", {});
  scrubber.AddName(NameKind::Word, "contoso", {});
  Scrubber::Stream stream(&scrubber);
  std::string out;
  // Processor time, not the wall clock: a shared machine's other work does
  // not count against the one core this runs on.
  const std::clock_t start = std::clock();
  for (size_t at = 0; at < text.size(); at += 1u << 20) {
    stream.Feed(text.data() + at, std::min<size_t>(1u << 20, text.size() - at), &out);
    out.clear();
  }
  stream.Finish(&out);
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  const double rate = text.size() / 1e6 / seconds;
  std::printf(
      "scrub: %.1f MB in %.2f s of one core, %.0f MB/s, %llu replacements (target 50 MB/s)\n",
      text.size() / 1e6, seconds, rate, static_cast<unsigned long long>(scrubber.replacements()));
  return rate >= 50 ? 0 : 1;
}
