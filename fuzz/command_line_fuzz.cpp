// The command line: any argument text through the whole parse and through
// single switches, with the ASCII case mapping the tests use.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/command_line.h"
#include "run/run_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string arguments(reinterpret_cast<const char*>(data), size);
  WantsHelp(arguments);
  SwitchNumber(arguments);

  RunSettings settings;
  ParseCommandLine(arguments, settings);

  const auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  for (const char* name : {"/event=", "/case=", "/silent", "/", "=", ""}) {
    std::vector<std::string> split = SplitArguments(arguments, lead);
    bool found = false;
    TakeSwitch(split, name, &found);
  }
  return 0;
}
