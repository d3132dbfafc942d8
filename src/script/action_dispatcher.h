#pragma once
// The walk over a loaded script and the dispatch of its actions: containers
// are walked, conditions decide whether their content runs, and every
// attribute of a section element becomes one collector call. The counting
// pass only adds up the progress weights.

#include <cstdint>
#include <map>
#include <string>

#include "collect/collector.h"
#include "expr/version_logic.h"
#include "script/script_document.h"

// How the walk treats an element, by its name (any case). Tools that check
// scripts ask the same questions as the walk, so they never disagree on it.
enum class ElementRole {
  Condition,         // PROCESSIF...: its content runs when the expression holds
  Summary,           // skipped with everything inside
  ActiveDirectory,   // handed whole to the directory dump, never walked
  EventLogSettings,  // EVENT_LOGS: settings, when it has no child elements
  Privacy,           // PRIVACY: the result's scrubbing, never walked
  Other,             // a container, or a section whose attributes are actions
};
ElementRole RoleOfElement(const std::string& name);

// The section as the dispatcher's table spells it ("FILES",
// "MISCELLANEOUS"...) when it recognises the action, else null.
const char* RecognisedActionSection(const std::string& section, const std::string& name);
// Whether the table has a row for the section at all.
bool IsKnownSection(const std::string& section);

// A copy of `element` and everything below it, as collectors read it.
ActionElement CopyElement(const ScriptNode& element);

class ActionDispatcher {
 public:
  // Works on the run driver's fields, which must outlive the dispatcher;
  // scriptFolder is read at every action, so it may change between scripts.
  // The context goes to every collector; its activity log gets the walk's
  // own entries and its resolver learns each action's name.
  ActionDispatcher(const RunContext& context, VersionLogic* versionLogic,
                   const std::string& exeFolder, const std::string& tempFolder,
                   const std::string& scriptFolder, int32_t* stepTotal,
                   const CollectorTable& collectors);

  // Walks `element` and everything below it in document order. The walk
  // keeps its own stack, so nesting depth never becomes C++ recursion.
  void WalkNode(const ScriptNode& element, int32_t pass);

  // One attribute of one section element; true when the action was
  // recognised (whatever its collector then did).
  bool DispatchAction(const std::string& section, const std::string& name, const std::string& value,
                      int32_t pass);

 private:
  // Returns whether the element's children are to be walked.
  bool VisitElement(const ScriptNode& element, int32_t pass);
  void RunElementAction(const ScriptNode& element, int32_t pass, bool activeDirectory);
  void Advance(int32_t pass, int32_t weight);
  // The output of action `name` in the script folder: name + extension
  // under a safe name, and beside a file an earlier action wrote.
  std::string OutputFor(const std::string& name, const char* extension, bool folder);
  ActionRequest Request(int32_t pass) const;
  // The status line's text of a kind of action, in its group of texts.
  const std::string& StatusText(const char* group, const char* defaultText);
  void Log(int32_t severity, const std::string& message);

  RunContext context_;
  VersionLogic* versionLogic_;
  const std::string& exeFolder_;
  const std::string& tempFolder_;
  const std::string& scriptFolder_;
  int32_t* stepTotal_;
  CollectorTable collectors_;
  std::map<std::string, std::string> statusTexts_;
};
