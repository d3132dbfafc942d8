#include "script/privacy_element.h"

#include <string>
#include <vector>

#include "run/run_settings.h"
#include "run/text.h"

namespace {

std::string Attribute(const ScriptNode& element, const char* name) {
  ScriptNode attribute;
  std::string value;
  if (element.GetAttributeByName(name, &attribute)) attribute.GetText(&value);
  return value;
}

void AddList(const std::string& text, std::vector<std::string>* list) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const size_t first = item.find_first_not_of(" \t");
    if (first != std::string::npos)
      list->push_back(item.substr(first, item.find_last_not_of(" \t") - first + 1));
    start = end + 1;
  }
}

}  // namespace

void ApplyPrivacyElement(const ScriptNode& element, LogFile* activityLog) {
  RunSettings& settings = Settings();
  if (EqualsNoCase(Attribute(element, "Scrub"), "yes") && !settings.scrub) {
    settings.scrub = true;
    if (activityLog != nullptr)
      activityLog->Write(SeverityInformation, "The script asks for a scrubbed result");
  }
  AddList(Attribute(element, "Words"), &settings.scrubWords);
  AddList(Attribute(element, "Keep"), &settings.scrubKeep);
}
