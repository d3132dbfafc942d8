#pragma once
// Command-line switches. Portable: the case mapping of the system code page
// is handed in, so that Windows uses CharLowerBuff and tests use ASCII.

#include <cstdint>
#include <string>

struct RunSettings;

using LowerCaseFn = void (*)(std::string& text);

// ASCII lower-casing, the stand-in where no code page is at hand.
void AsciiLowerCase(std::string& text);

// Finds the first occurrence of `name` (lower case, with its "=" where it has
// one), removes it and its value from `line`, and returns the value. The whole
// line is lower-cased on every call, so the caller's copy ends up lower case.
std::string ParseSwitch(std::string& line, const std::string& name, bool* found = nullptr,
                        LowerCaseFn lower = AsciiLowerCase);

// Decimal number as the command line reads it: leading blanks, an optional
// sign, digits up to the first other character; no digits gives 0. Values
// beyond 32 bits saturate.
int32_t SwitchNumber(const std::string& text);

// True when the line asks for the help box; checked before lower-casing.
bool WantsHelp(const std::string& arguments);

// Takes every switch from `arguments` into `settings`, in the fixed order.
// Paths are left as typed; making them absolute is the caller's step.
void ParseCommandLine(const std::string& arguments, RunSettings& settings,
                      LowerCaseFn lower = AsciiLowerCase);
