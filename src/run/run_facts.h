#pragma once
// Where, by what and when a result was made, said at the head of the
// activity log: a result sent back from a customer names its machine, its
// Windows, its user, its clock and the version of the tool. The lines are
// read back by tovkit by their prefixes ("Computer: "...), so their texts
// are fixed, not localised.

#include <cstdint>
#include <string>
#include <vector>

#include "sys/file_system.h"

class LogFile;

// The version of this build ("1.1.0"), from the project's version.
extern const char kToolVersion[];

struct RunFacts {
  enum class Membership { Unknown, Domain, Workgroup };
  enum class Elevation { Unknown, Elevated, NotElevated };

  std::string computer;  // the NetBIOS name
  Membership membership = Membership::Unknown;
  std::string domain;          // of the domain or the workgroup
  std::string windowsProduct;  // as the system names itself
  uint32_t major = 0, minor = 0, build = 0;
  uint16_t nativeMachine = 0;  // IMAGE_FILE_MACHINE_*: 0x14C, 0x8664, 0xAA64
  bool wow64 = false;          // this 32-bit program runs on a 64-bit system
  std::string user;            // DOMAIN\user
  Elevation elevation = Elevation::Unknown;
  std::string timeZone;          // the zone's standard name
  int32_t utcOffsetMinutes = 0;  // now, daylight saving included
  uint32_t codePage = 0;         // the ANSI code page
  sys::LocalTime startedUtc = {};
};

// The INFORMATION entries of the log head, in order. A value's commas
// become ";" (log messages are not quoted) and its line ends blanks; what
// the system would not tell is "unknown".
std::vector<std::string> RunFactLines(const RunFacts& facts);

// "x86", "x64", "ARM64"; "unknown" for any other machine.
const char* MachineName(uint16_t machine);

// "UTC+01:00", "UTC-05:30".
std::string UtcOffsetText(int32_t minutes);

// This machine's facts, now (the Windows edge; a stand-in elsewhere).
RunFacts GatherRunFacts();

// The lines of RunFactLines as INFORMATION entries.
void WriteRunFacts(LogFile& log, const RunFacts& facts);
