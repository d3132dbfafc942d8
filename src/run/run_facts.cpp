#include "run/run_facts.h"

#include <cstdio>
#include <cstdlib>

#include "run/log_file.h"

#ifndef BRINDLE_VERSION
#error "BRINDLE_VERSION comes from the project's version (CMakeLists.txt)"
#endif
const char kToolVersion[] = BRINDLE_VERSION;

namespace {

std::string Value(const std::string& text) {
  if (text.empty()) return "unknown";
  std::string value = text;
  for (char& c : value) {
    if (c == ',') c = ';';
    if (c == '\r' || c == '\n') c = ' ';
  }
  return value;
}

// The system still calls Windows 11 "Windows 10" in its product name; the
// build tells them apart.
std::string ProductName(const RunFacts& facts) {
  const std::string ten = "Windows 10";
  std::string name = facts.windowsProduct;
  const size_t at = name.find(ten);
  if (facts.major == 10 && facts.build >= 22000 && at != std::string::npos) {
    name.replace(at, ten.size(), "Windows 11");
  }
  return name;
}

}  // namespace

const char* MachineName(uint16_t machine) {
  switch (machine) {
    case 0x014C:
      return "x86";
    case 0x8664:
      return "x64";
    case 0xAA64:
      return "ARM64";
    default:
      return "unknown";
  }
}

std::string UtcOffsetText(int32_t minutes) {
  const char sign = minutes < 0 ? '-' : '+';
  const int32_t size = std::abs(minutes);
  char text[16];
  std::snprintf(text, sizeof text, "UTC%c%02d:%02d", sign, static_cast<int>(size / 60),
                static_cast<int>(size % 60));
  return text;
}

std::vector<std::string> RunFactLines(const RunFacts& facts) {
  std::vector<std::string> lines;
  lines.push_back(std::string("Tool version: ") + kToolVersion);
  lines.push_back("Computer: " + Value(facts.computer));
  lines.push_back((facts.membership == RunFacts::Membership::Domain ? "Domain: " : "Workgroup: ") +
                  Value(facts.membership == RunFacts::Membership::Unknown ? "" : facts.domain));
  std::string windows = "Windows: " + Value(ProductName(facts)) + "; version ";
  windows += facts.major == 0 ? std::string("unknown")
                              : std::to_string(facts.major) + "." + std::to_string(facts.minor) +
                                    "." + std::to_string(facts.build);
  windows += std::string("; ") + MachineName(facts.nativeMachine);
  if (facts.wow64) windows += "; WOW64";
  lines.push_back(windows);
  static const char* const kElevation[] = {"elevation unknown", "elevated", "not elevated"};
  lines.push_back("User: " + Value(facts.user) + "; " +
                  kElevation[static_cast<int>(facts.elevation)]);
  lines.push_back("Time zone: " + Value(facts.timeZone) + "; " +
                  UtcOffsetText(facts.utcOffsetMinutes));
  lines.push_back("Code page: " +
                  (facts.codePage == 0 ? std::string("unknown") : std::to_string(facts.codePage)));
  const sys::LocalTime& t = facts.startedUtc;
  lines.push_back(Format("Started: %04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour,
                         t.minute, t.second));
  return lines;
}

void WriteRunFacts(LogFile& log, const RunFacts& facts) {
  for (const std::string& line : RunFactLines(facts)) log.Write(SeverityInformation, line);
}
