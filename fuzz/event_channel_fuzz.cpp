// What the event channels hand over, damaged any way: a rendered event's
// XML, an exported .evtx, and a script's channel value. No crash, no read
// outside the input, no runaway of the wildcard matcher.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "collect/event_channel_collector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  ChannelEvent event;
  if (ParseRenderedEvent(input, &event)) ChannelRow(event, input, "rendered");
  uint64_t records = 0;
  EvtxProblem(
      [&](uint64_t at, size_t count, std::string* bytes) {
        *bytes = at < input.size() ? input.substr(at, count) : "";
        return true;
      },
      &records);
  ChannelSpec spec;
  ParseChannelSpec(input, &spec);
  // As long as a channel name can be (ParseChannelSpec refuses longer).
  const size_t half = input.size() / 2;
  ChannelMatches(input.substr(0, std::min<size_t>(half, 255)), input.substr(half, 255));
  return 0;
}
