#include "app/command_line.h"

#include "run/run_settings.h"
#include "run/text.h"

void AsciiLowerCase(std::string& text) { text = LowerAscii(std::move(text)); }

std::vector<std::string> SplitArguments(const std::string& line, LeadByteFn isLeadByte) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false, quoted = false;
  for (size_t i = 0; i < line.size();) {
    const char c = line[i];
    if (isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(c)) && i + 1 < line.size()) {
      current.append(line, i, 2);
      inArgument = true;
      i += 2;
      continue;
    }
    if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) arguments.push_back(current);
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        current.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(backslashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) arguments.push_back(current);
  return arguments;
}

std::string TakeSwitch(std::vector<std::string>& arguments, const std::string& name, bool* found) {
  if (found) *found = false;
  if (name.empty()) return "";
  for (std::string& argument : arguments) {
    const size_t p = argument.find(name);
    if (p == std::string::npos) continue;
    std::string value = argument.substr(p + name.size());
    argument.erase(p);
    if (found) *found = true;
    return value;
  }
  return "";
}

int32_t SwitchNumber(const std::string& text) { return DecimalNumber(text); }

bool WantsHelp(const std::string& arguments) { return arguments.find("/?") != std::string::npos; }

void ParseCommandLine(const std::string& arguments, RunSettings& settings, LowerCaseFn lower,
                      LeadByteFn isLeadByte) {
  std::string line = arguments;
  lower(line);
  std::vector<std::string> args = SplitArguments(line, isLeadByte);
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
    const std::string value = TakeSwitch(args, day.name, &found);
    if (found) {
      settings.*day.given = true;
      settings.*day.days = SwitchNumber(value);
    }
  }
  bool found = false;
  settings.caseId = TakeSwitch(args, "/case=", &found);
  settings.caseIdGiven = found;
  settings.xmlFile = TakeSwitch(args, "/xmlfile=");
  settings.outFile = TakeSwitch(args, "/outfile=");
  TakeSwitch(args, "/silent", &found);
  settings.silent = found;
  TakeSwitch(args, "/scrub", &found);
  settings.scrub = found;
  // Last, after every switch had its turn.
  settings.ignoredArguments.clear();
  for (const std::string& argument : args) {
    if (!argument.empty()) settings.ignoredArguments.push_back(argument);
  }
}

std::string IgnoredArgumentMessage(const std::string& argument) {
  static const char* const kSwitches[] = {"/event=", "/application=", "/security=", "/system=",
                                          "/case=",  "/xmlfile=",     "/outfile=",  "/silent",
                                          "/scrub"};
  for (const char* name : kSwitches) {
    if (argument.compare(0, std::string(name).size(), name) == 0) {
      return "Switch " + argument + " repeats " + name + ": only the first one counts; ignored";
    }
  }
  return "Unknown switch " + argument + " ignored";
}
