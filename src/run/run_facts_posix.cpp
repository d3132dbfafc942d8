#include <unistd.h>

#include <ctime>

#include "run/run_facts.h"

// Native builds run no collection; a few facts keep the stand-in honest.
RunFacts GatherRunFacts() {
  RunFacts facts;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) == 0) facts.computer = name;
  const std::time_t now = std::time(nullptr);
  std::tm utc = {};
  ::gmtime_r(&now, &utc);
  facts.startedUtc = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                      utc.tm_hour,        utc.tm_min,     utc.tm_sec};
  return facts;
}
