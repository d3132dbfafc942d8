#include "app/command_line.h"

#include <cctype>
#include <climits>

#include "run/run_settings.h"
#include "run/text.h"

void AsciiLowerCase(std::string& text) { text = LowerAscii(std::move(text)); }

std::string ParseSwitch(std::string& line, const std::string& name, bool* found,
                        LowerCaseFn lower) {
  size_t start = 0;
  while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
  line.erase(0, start);
  lower(line);

  const size_t p = line.find(name);
  if (name.empty() || p == std::string::npos) {
    if (found) *found = false;
    return "";
  }
  std::string value;
  const size_t s = p + name.size();
  if (line.size() > s) {
    if (line[s] == '"') {
      const size_t q = line.find('"', s + 1);
      if (q != std::string::npos) {
        value = line.substr(s + 1, q - s - 1);
        line.erase(s, q - s + 1);
      }
    } else {
      size_t e = line.find(' ', s);
      if (e == std::string::npos) e = line.size();
      if (e > s) {
        value = line.substr(s, e - s);
        line.erase(s, e - s);
      }
    }
  }
  if (found) *found = true;
  line.erase(p, name.size());
  return value;
}

int32_t SwitchNumber(const std::string& text) { return DecimalNumber(text); }

bool WantsHelp(const std::string& arguments) { return arguments.find("/?") != std::string::npos; }

void ParseCommandLine(const std::string& arguments, RunSettings& settings, LowerCaseFn lower) {
  std::string line = arguments;
  struct DaySwitch {
    const char* name;
    bool RunSettings::*given;
    int32_t RunSettings::*days;
  };
  static const DaySwitch kDays[] = {
      {"/event=", &RunSettings::eventDaysGiven, &RunSettings::eventDays},
      {"/application=", &RunSettings::applicationDaysGiven, &RunSettings::applicationDays},
      {"/security=", &RunSettings::securityDaysGiven, &RunSettings::securityDays},
      {"/system=", &RunSettings::systemDaysGiven, &RunSettings::systemDays},
  };
  for (const DaySwitch& day : kDays) {
    bool found = false;
    const std::string value = ParseSwitch(line, day.name, &found, lower);
    if (found) {
      settings.*day.given = true;
      settings.*day.days = SwitchNumber(value);
    }
  }
  bool found = false;
  settings.caseId = ParseSwitch(line, "/case=", &found, lower);
  settings.caseIdGiven = found;
  settings.xmlFile = ParseSwitch(line, "/xmlfile=", nullptr, lower);
  settings.outFile = ParseSwitch(line, "/outfile=", nullptr, lower);
  ParseSwitch(line, "/silent", &found, lower);
  settings.silent = found;
}
