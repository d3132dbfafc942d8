#include "script/action_dispatcher.h"

#include <utility>
#include <vector>

#include "expr/path_resolver.h"
#include "run/file_names.h"
#include "run/local_text.h"
#include "run/text.h"
#include "script/privacy_element.h"

namespace {

enum class Output {
  None,
  Folder,       // out\N, made by the collector
  FolderSlash,  // out + "\\"
  Csv,          // out\N.csv
  Txt,          // out\N.txt
};

struct ActionRow {
  const char* section;
  const char* action;  // null: any action name
  int32_t weight;
  const char* textGroup;
  const char* defaultText;                     // "%s" stands for the action name
  ActionCollector CollectorTable::*collector;  // null: the debug action
  Output output;
  bool manifest;  // the dispatcher lists the output file
};

// Tried in this order; the first row that matches runs.
const ActionRow kActions[] = {
    {"FILES", nullptr, 5, "Files", "Copying files [%s]", &CollectorTable::files, Output::Folder,
     false},
    {"FILE_VERSIONS", nullptr, 5, "FileVersions", "Logging files [%s]",
     &CollectorTable::fileVersions, Output::Csv, true},
    {"REGISTRY", nullptr, 5, "Registry", "Dumping registry [%s]", &CollectorTable::registry,
     Output::Txt, true},
    {"DEBUG", nullptr, 2, "Debug", "Setting debug [%s]", nullptr, Output::None, false},
    // The tool's printed output; listed by the collector, which makes it
    // only when the tool prints something.
    {"EXECUTE", nullptr, 5, "Execute", "Executing external tool [%s]", &CollectorTable::execute,
     Output::Txt, false},
    {"MISCELLANEOUS", "EVENT_LOGS", 1, "EventLogs", "Collecting event logs",
     &CollectorTable::eventLogs, Output::FolderSlash, false},
    {"MISCELLANEOUS", "PROCESS_LIST", 1, "ProcessList", "Dumping process list",
     &CollectorTable::processList, Output::Txt, true},
    {"EVENT_CHANNELS", nullptr, 5, "EventChannels", "Collecting event channels [%s]",
     &CollectorTable::eventChannels, Output::None, false},
};

const int32_t kActiveDirectoryWeight = 5;
const int32_t kEventLogSettingsWeight = 1;

const ActionRow* FindActionRow(const std::string& section, const std::string& name) {
  for (const ActionRow& candidate : kActions) {
    if (EqualsNoCase(section, candidate.section) &&
        (candidate.action == nullptr || EqualsNoCase(name, candidate.action))) {
      return &candidate;
    }
  }
  return nullptr;
}

}  // namespace

ElementRole RoleOfElement(const std::string& name) {
  const std::string upper = UpperAscii(name);
  if (upper.compare(0, 9, "PROCESSIF") == 0) return ElementRole::Condition;
  if (upper == "SUMMARY") return ElementRole::Summary;
  if (upper == "ACTIVE_DIRECTORY") return ElementRole::ActiveDirectory;
  if (upper == "EVENT_LOGS") return ElementRole::EventLogSettings;
  if (upper == "PRIVACY") return ElementRole::Privacy;
  return ElementRole::Other;
}

const char* RecognisedActionSection(const std::string& section, const std::string& name) {
  const ActionRow* row = FindActionRow(section, name);
  return row == nullptr ? nullptr : row->section;
}

bool IsKnownSection(const std::string& section) {
  for (const ActionRow& row : kActions) {
    if (EqualsNoCase(section, row.section)) return true;
  }
  return false;
}

ActionElement CopyElement(const ScriptNode& element) {
  ActionElement copy;
  if (element.IsNull()) return copy;
  // Breadth first over an explicit queue: each node's children are copied
  // after it, and their indexes are known when the node is filled in.
  std::vector<ScriptNode> queue{element};
  std::vector<ScriptNode> children;
  for (size_t at = 0; at < queue.size(); ++at) {
    ActionElement::Node node;
    queue[at].GetName(&node.name);
    size_t count = 0;
    queue[at].GetAttributeCount(&count);
    for (size_t i = 0; i < count; ++i) {
      ScriptNode attribute;
      std::string name, value;
      if (!queue[at].GetAttribute(i, &attribute)) continue;
      attribute.GetName(&name);
      attribute.GetText(&value);
      node.attributes.emplace_back(std::move(name), std::move(value));
    }
    queue[at].GetChildren(&children);
    for (const ScriptNode& child : children) {
      node.children.push_back(queue.size());
      queue.push_back(child);
    }
    copy.nodes.push_back(std::move(node));
  }
  return copy;
}

ActionDispatcher::ActionDispatcher(const RunContext& context, VersionLogic* versionLogic,
                                   const std::string& exeFolder, const std::string& tempFolder,
                                   const std::string& scriptFolder, int32_t* stepTotal,
                                   const CollectorTable& collectors)
    : context_(context),
      versionLogic_(versionLogic),
      exeFolder_(exeFolder),
      tempFolder_(tempFolder),
      scriptFolder_(scriptFolder),
      stepTotal_(stepTotal),
      collectors_(collectors) {}

void ActionDispatcher::Log(int32_t severity, const std::string& message) {
  context_.Log(severity, message);
}

std::string ActionDispatcher::OutputFor(const std::string& name, const char* extension,
                                        bool folder) {
  const std::string written = name + extension;
  std::string fileName = SafeFileName(written);
  if (fileName != written) {
    Log(SeverityWarning, Format("Action name %s cannot name a file (%s): writing %s instead",
                                name.c_str(), FileNameProblem(written).c_str(), fileName.c_str()));
  }
  // Every file has one writer: appending to what an earlier action wrote
  // would leave that action's manifest row stale. A folder of FILES is
  // shared, its copies never overwrite one another.
  const auto taken = [this, folder](const std::string& candidate) {
    const std::string at = JoinPath(scriptFolder_, candidate);
    return sys::PathExists(at) && !(folder && sys::FolderExists(at));
  };
  const std::string path = JoinPath(scriptFolder_, fileName);
  if (!taken(fileName)) return path;
  const std::string free = FreeFileName(fileName, taken);
  Log(SeverityInformation,
      Format("%s exists already: this action writes %s", path.c_str(), free.c_str()));
  return JoinPath(scriptFolder_, free);
}

void ActionDispatcher::Advance(int32_t pass, int32_t weight) {
  if (pass == RunPassCount) {
    *stepTotal_ += weight;
  } else {
    context_.Status("", weight);
  }
}

// Read from the localisation file once per kind of action: the file does
// not change during a run, and each look-up reads it again.
const std::string& ActionDispatcher::StatusText(const char* group, const char* defaultText) {
  std::string& text = statusTexts_[group];
  if (text.empty()) text = LocalText(group, "WorkMsg", defaultText);
  return text;
}

ActionRequest ActionDispatcher::Request(int32_t pass) const {
  return ActionRequest::ForRun(pass, context_, scriptFolder_, tempFolder_, exeFolder_);
}

void ActionDispatcher::WalkNode(const ScriptNode& element, int32_t pass) {
  // Pre-order over an explicit stack: children are pushed last-first, so
  // they come off in document order, each subtree before its next sibling.
  std::vector<ScriptNode> pending;
  pending.push_back(element);
  bool root = true;
  std::vector<ScriptNode> children;
  while (!pending.empty()) {
    const ScriptNode node = pending.back();
    pending.pop_back();
    // Once a stop is requested nothing more is walked; the root itself is
    // walked because the caller asked for it.
    if (!root && context_.StopRequested()) break;
    root = false;
    if (!VisitElement(node, pass)) continue;
    node.GetChildren(&children);
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      pending.push_back(*child);
    }
  }
}

bool ActionDispatcher::VisitElement(const ScriptNode& element, int32_t pass) {
  std::string name;
  element.GetName(&name);
  const std::string upper = UpperAscii(name);
  size_t count = 0;
  element.GetAttributeCount(&count);

  const ElementRole role = RoleOfElement(name);
  if (role == ElementRole::Condition) {
    if (versionLogic_ == nullptr) return false;
    versionLogic_->ClearOperands();
    for (size_t i = 0; i < count; ++i) {
      ScriptNode attribute;
      std::string attributeName, value;
      if (!element.GetAttribute(i, &attribute)) continue;
      attribute.GetName(&attributeName);
      attribute.GetText(&value);
      versionLogic_->AddOperand(attributeName, value);
    }
    if (!versionLogic_->Evaluate(upper)) return false;
  }
  if (role == ElementRole::Summary) return false;
  if (role == ElementRole::Privacy) {
    if (pass == RunPassRun) ApplyPrivacyElement(element, context_.activityLog);
    return false;
  }

  const bool activeDirectory = role == ElementRole::ActiveDirectory;
  if (element.HasChildren() && !activeDirectory) return true;

  if (activeDirectory || role == ElementRole::EventLogSettings) {
    RunElementAction(element, pass, activeDirectory);
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    ScriptNode attribute;
    std::string attributeName, value;
    if (element.GetAttribute(i, &attribute)) {
      attribute.GetName(&attributeName);
      attribute.GetText(&value);
    }
    if (context_.StopRequested()) break;
    DispatchAction(name, attributeName, value, pass);
  }
  return false;
}

void ActionDispatcher::RunElementAction(const ScriptNode& element, int32_t pass,
                                        bool activeDirectory) {
  ActionRequest request = Request(pass);
  request.element = CopyElement(element);
  if (!activeDirectory) {
    if (collectors_.eventLogSettings != nullptr) collectors_.eventLogSettings(request);
    if (pass == RunPassCount) *stepTotal_ += kEventLogSettingsWeight;
    return;
  }
  if (pass == RunPassCount) {
    *stepTotal_ += kActiveDirectoryWeight;
    return;
  }
  context_.Status(LocalText("ActiveDirectory", "WorkMsg", "Dumping active directory"), 0);
  if (collectors_.activeDirectory != nullptr) collectors_.activeDirectory(request);
  context_.Status("", kActiveDirectoryWeight);
}

bool ActionDispatcher::DispatchAction(const std::string& section, const std::string& name,
                                      const std::string& value, int32_t pass) {
  const bool running = pass == RunPassRun;
  if (running) {
    Log(SeverityDebug, Format("XML Section: %s", section.c_str()));
    Log(SeverityDebug, Format("XML Name: %s", name.c_str()));
    Log(SeverityDebug, Format("XML Value: %s", value.c_str()));
  }
  if (context_.resolver != nullptr) context_.resolver->SetActionName(name);

  const ActionRow* row = FindActionRow(section, name);
  if (row == nullptr) {
    Log(SeverityError, Format("Unrecognised Action: %s<%s>", section.c_str(), name.c_str()));
    return false;
  }
  if (!running) {
    *stepTotal_ += row->weight;
    return true;
  }

  context_.Status(FillPlaceholder(StatusText(row->textGroup, row->defaultText), name), 0);
  ActionRequest request = Request(pass);
  request.name = name;
  request.value = value;
  switch (row->output) {
    case Output::None:
      break;
    case Output::Folder:
      // Made by the collector once it has a file to put there: a folder per
      // action that finds nothing cost each such action more than its search.
      // Two FILES actions of one name share it.
      request.outputPath = OutputFor(name, "", true);
      request.name = NameOf(request.outputPath);
      break;
    case Output::FolderSlash:
      request.outputPath = scriptFolder_ + "\\";
      break;
    case Output::Csv:
      request.outputPath = OutputFor(name, ".csv", false);
      break;
    case Output::Txt:
      request.outputPath = OutputFor(name, ".txt", false);
      break;
  }
  if (row->collector == nullptr) {
    Log(SeverityDebug, "Debug requested but not yet implemented");
  } else if (ActionCollector collector = collectors_.*(row->collector)) {
    collector(request);
  }
  context_.Status("", row->weight);
  if (row->manifest) context_.AddFile(RelativeToFolder(request.outputPath, tempFolder_), "");
  return true;
}
