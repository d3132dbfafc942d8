#include "run/run_facts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// The texts tovkit reads back by their prefixes.
TEST(RunFactLines, SayWhereAndWhenInTheAgreedWords) {
  RunFacts facts;
  facts.computer = "PC-042";
  facts.membership = RunFacts::Membership::Domain;
  facts.domain = "CORP";
  facts.windowsProduct = "Windows 10 Pro, N";
  facts.major = 10;
  facts.build = 22631;
  facts.nativeMachine = 0x8664;
  facts.wow64 = true;
  facts.user = "CORP\\ann";
  facts.elevation = RunFacts::Elevation::NotElevated;
  facts.timeZone = "India Standard Time";
  facts.utcOffsetMinutes = 330;
  facts.codePage = 1252;
  facts.startedUtc = {2026, 3, 5, 9, 7, 3};
  EXPECT_EQ(RunFactLines(facts),
            (Lines{std::string("Tool version: ") + BRINDLE_VERSION, "Computer: PC-042",
                   "Domain: CORP", "Windows: Windows 11 Pro; N; version 10.0.22631; x64; WOW64",
                   "User: CORP\\ann; not elevated", "Time zone: India Standard Time; UTC+05:30",
                   "Code page: 1252", "Started: 2026-03-05T09:07:03Z"}));

  // What the system would not tell is said, not left out.
  RunFacts sparse;
  sparse.utcOffsetMinutes = -210;
  const Lines lines = RunFactLines(sparse);
  EXPECT_EQ(Lines(lines.begin() + 2, lines.end() - 2),
            (Lines{"Workgroup: unknown", "Windows: unknown; version unknown; unknown",
                   "User: unknown; elevation unknown", "Time zone: unknown; UTC-03:30"}));
}

}  // namespace
