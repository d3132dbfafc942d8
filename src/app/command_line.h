#pragma once
// Command-line switches. Portable: the case mapping of the system code page
// is handed in, so that Windows uses CharLowerBuff and tests use ASCII.

#include <cstdint>
#include <string>
#include <vector>

struct RunSettings;

using LowerCaseFn = void (*)(std::string& text);
// Whether a byte starts a double-byte character of the code page (whose
// second byte may be a backslash).
using LeadByteFn = bool (*)(unsigned char byte);

// ASCII lower-casing, the stand-in where no code page is at hand.
void AsciiLowerCase(std::string& text);

// The arguments of `line` as every program on Windows reads them (the C
// runtime and CommandLineToArgvW): blanks and tabs separate arguments
// outside double quotes; quotes group and are dropped, anywhere in an
// argument; 2n backslashes before a quote give n and the quote groups,
// 2n+1 give n and a literal quote; other backslashes are literal; inside
// quotes "" is a literal quote.
std::vector<std::string> SplitArguments(const std::string& line, LeadByteFn isLeadByte = nullptr);

// Finds `name` (lower case, with its "=" where it has one) in the first
// argument that holds it, anywhere in it; the rest of that argument is the
// value. Both are removed from the argument, so that later switches see
// only what is left.
std::string TakeSwitch(std::vector<std::string>& arguments, const std::string& name,
                       bool* found = nullptr);

// Decimal number as the command line reads it: leading blanks, an optional
// sign, digits up to the first other character; no digits gives 0. Values
// beyond 32 bits saturate.
int32_t SwitchNumber(const std::string& text);

// True when the line asks for the help box; checked before lower-casing.
bool WantsHelp(const std::string& arguments);

// Takes every switch from `arguments` into `settings`, in the fixed order,
// after lower-casing the whole line, and keeps what none took in
// `ignoredArguments`. Paths are left as typed; making them absolute is the
// caller's step.
// The log's ERROR for an argument no switch took: "Unknown switch
// /outfle=x ignored", or, for a switch the line gives twice, that only the
// first counts.
std::string IgnoredArgumentMessage(const std::string& argument);

void ParseCommandLine(const std::string& arguments, RunSettings& settings,
                      LowerCaseFn lower = AsciiLowerCase, LeadByteFn isLeadByte = nullptr);
