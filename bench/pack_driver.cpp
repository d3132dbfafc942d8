// Packs a result folder the way the end of a run does, through the POSIX
// stand-ins of the Windows edge, and prints the result size and this
// process's peak memory.
//
//   pack_driver RESULT_FOLDER OUTPUT.tgz
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>

#include "pack/result_packager.h"
#include "run/run_settings.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pack_driver RESULT_FOLDER OUTPUT.tgz\n");
    return 2;
  }
  const bool ok = ResultPackager::Compress(argv[1], argv[2]);
  struct stat info {};
  ::stat(argv[2], &info);
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("ok=%d writeFailed=%d size=%lld peak_rss_kb=%ld\n", ok ? 1 : 0,
              Settings().writeFailed ? 1 : 0, static_cast<long long>(info.st_size),
              usage.ru_maxrss);
  return ok ? 0 : 1;
}
