#include "script_lint.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "collect/active_directory_dump.h"
#include "collect/event_channel_collector.h"
#include "collect/external_command.h"
#include "collect/file_collector.h"
#include "collect/registry_collector.h"
#include "expr/path_resolver.h"
#include "expr/registry_root.h"
#include "expr/version_logic.h"
#include "input_file.h"
#include "run/file_names.h"
#include "run/key_signature.h"
#include "run/signature.h"
#include "run/text.h"
#include "script/action_dispatcher.h"
#include "sys/file_system.h"
#include "untrusted_text.h"

namespace tovkit {

namespace {

const char kLintHelp[] =
    "usage: tovkit lint [--json] [--unsigned] SCRIPT...\n"
    "\n"
    "Reads each script as brindle.exe does, signed or not, and walks it as the\n"
    "run would, without collecting anything. Errors are what a run drops or\n"
    "skips: attributes and elements the reader drops, unknown sections, actions,\n"
    "registry roots and condition words, path variables that never resolve, bad\n"
    "FILES switches and EXECUTE time limits, directory searches that write\n"
    "nothing, a signature that does not hold. Warnings are what a run takes but\n"
    "likely not as meant. Says of each signed script whether its signature holds.\n"
    "\n"
    "  --json      one JSON array of findings on standard output\n"
    "  --unsigned  the scripts are sources, signed later: no signature check\n"
    "\n"
    "Exit status 0 when no script has an error (warnings alone leave it 0), 1\n"
    "when one has or cannot be read, 2 for a usage error.\n";

const char* const kEventLogAttributes[] = {"Application_log_required",
                                           "Security_log_required",
                                           "System_log_required",
                                           "Application_log_From",
                                           "Application_log_To",
                                           "Security_log_From",
                                           "Security_log_To",
                                           "System_log_From",
                                           "System_log_To",
                                           "Application_log_Recent_Days",
                                           "Security_log_Recent_Days",
                                           "System_log_Recent_Days"};

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class Linter {
 public:
  explicit Linter(std::vector<LintFinding>* findings) : findings_(findings) {}

  void Walk(const ScriptNode& root);

 private:
  void Add(SourcePosition position, bool error, std::string message) {
    findings_->push_back(LintFinding{position, error, std::move(message)});
  }
  void Add(const ScriptNode& node, bool error, std::string message) {
    SourcePosition position;
    node.GetPosition(&position);
    Add(position, error, std::move(message));
  }

  // Where the character at `offset` of an attribute's value stands; a
  // value written with references may put it a little off.
  static SourcePosition InValue(const ScriptNode& attribute, const std::string& value,
                                size_t offset) {
    SourcePosition position;
    attribute.GetValuePosition(&position);
    for (size_t i = 0; i < offset && i < value.size(); ++i) {
      if (value[i] == '\n') {
        ++position.line;
        position.column = 1;
      } else {
        ++position.column;
      }
    }
    return position;
  }

  void CheckReferences(const ScriptNode& attribute, const std::string& value);
  void CheckCondition(const ScriptNode& element, const std::string& name);
  void CheckSection(const ScriptNode& element, const std::string& name);
  void CheckFiles(const ScriptNode& attribute, const std::string& value);
  void CheckExecute(const ScriptNode& attribute, const std::string& value);
  void CheckRegistry(const ScriptNode& attribute, const std::string& value);
  void CheckActiveDirectory(const ScriptNode& element);
  void CheckEventLogSettings(const ScriptNode& element);

  std::vector<LintFinding>* findings_;
};

struct Attr {
  ScriptNode node;
  std::string name, value;
};

std::vector<Attr> AttributesOf(const ScriptNode& element) {
  std::vector<Attr> list;
  size_t count = 0;
  element.GetAttributeCount(&count);
  for (size_t i = 0; i < count; ++i) {
    Attr attr;
    if (!element.GetAttribute(i, &attr.node)) continue;
    attr.node.GetName(&attr.name);
    attr.node.GetText(&attr.value);
    list.push_back(std::move(attr));
  }
  return list;
}

std::string NameOfNode(const ScriptNode& node) {
  std::string name;
  node.GetName(&name);
  return name;
}

void Linter::Walk(const ScriptNode& root) {
  // The dispatcher's order, over an explicit stack; both outcomes of every
  // condition are walked, since either may come true on some machine.
  std::vector<ScriptNode> pending{root};
  std::vector<ScriptNode> children;
  while (!pending.empty()) {
    const ScriptNode node = pending.back();
    pending.pop_back();
    const std::string name = NameOfNode(node);
    const ElementRole role = RoleOfElement(name);
    const bool hasChildren = node.HasChildren();
    if (role == ElementRole::Summary || role == ElementRole::Privacy) continue;
    if (role == ElementRole::Condition) CheckCondition(node, name);
    if (role == ElementRole::ActiveDirectory) {
      CheckActiveDirectory(node);
      continue;
    }
    if (hasChildren && role == ElementRole::EventLogSettings) {
      Add(node, false,
          "EVENT_LOGS holds elements: it is walked as a section and its attributes are ignored");
    } else if (hasChildren && role != ElementRole::Condition) {
      const size_t count = AttributesOf(node).size();
      if (count > 0) {
        Add(node, true,
            "<" + name + "> holds elements, so its " + std::to_string(count) +
                (count == 1 ? " attribute is" : " attributes are") + " never run");
      }
    }
    if (!hasChildren) {
      if (role == ElementRole::EventLogSettings) {
        CheckEventLogSettings(node);
      } else {
        CheckSection(node, name);
      }
      continue;
    }
    node.GetChildren(&children);
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      pending.push_back(*child);
    }
  }
}

void Linter::CheckReferences(const ScriptNode& attribute, const std::string& value) {
  for (const ReferenceProblem& problem : FindReferenceProblems(value)) {
    Add(InValue(attribute, value, problem.offset), true, problem.message);
  }
}

void Linter::CheckCondition(const ScriptNode& element, const std::string& name) {
  const std::string problem = ConditionProblem(UpperAscii(name));
  if (!problem.empty()) Add(element, true, problem + " in <" + name + ">");
  const bool hasChildren = element.HasChildren();
  for (const Attr& attr : AttributesOf(element)) {
    if (!IsConditionOperand(attr.name)) {
      Add(attr.node, true,
          "attribute '" + attr.name +
              "' is no condition operand (RegKey, RegValueName, RegValue, File, Folder)");
    } else if (EqualsNoCase(attr.name, "File") || EqualsNoCase(attr.name, "Folder")) {
      CheckReferences(attr.node, attr.value);
    }
  }
  // Without children a condition that holds is walked on as a section, and
  // its operands become unknown actions.
  if (!hasChildren && !AttributesOf(element).empty()) {
    Add(element, true,
        "condition <" + name + "> holds no elements: when it holds, its attributes run as actions");
  }
}

void Linter::CheckSection(const ScriptNode& element, const std::string& name) {
  if (RoleOfElement(name) == ElementRole::Condition) return;  // told above
  const std::vector<Attr> attributes = AttributesOf(element);
  if (attributes.empty()) return;
  if (!IsKnownSection(name)) {
    Add(element, true,
        "unknown section '" + name + "': its " + std::to_string(attributes.size()) +
            (attributes.size() == 1 ? " action is" : " actions are") + " skipped");
    return;
  }
  for (const Attr& attr : attributes) {
    const char* section = RecognisedActionSection(name, attr.name);
    if (section == nullptr) {
      Add(attr.node, true, "unknown action '" + attr.name + "' in section " + name);
      continue;
    }
    const std::string known = section;
    // The actions that write a file (or folder) named after themselves.
    const char* extension = known == "FILES"           ? ""
                            : known == "FILE_VERSIONS" ? ".csv"
                            : known == "REGISTRY"      ? ".txt"
                                                       : nullptr;
    const std::string file = attr.name + (extension != nullptr ? extension : "");
    if (extension != nullptr && !FileNameProblem(file).empty()) {
      Add(attr.node, false,
          "action name '" + attr.name + "' cannot name its file (" + FileNameProblem(file) +
              "): it is written as '" + SafeFileName(file) + "'");
    }
    if (known == "FILES" || known == "FILE_VERSIONS") CheckFiles(attr.node, attr.value);
    if (known == "EXECUTE") CheckExecute(attr.node, attr.value);
    if (known == "REGISTRY") CheckRegistry(attr.node, attr.value);
    ChannelSpec channel;  // an unknown channel is no finding: channels differ per machine
    if (known == "EVENT_CHANNELS" && !ParseChannelSpec(attr.value, &channel).empty()) {
      Add(InValue(attr.node, attr.value, 0), true, ParseChannelSpec(attr.value, &channel));
    }
  }
}

void Linter::CheckFiles(const ScriptNode& attribute, const std::string& value) {
  std::string spec = value;
  TakeFileSwitches(&spec);
  // What the collector does not take out stays in the path, where no file
  // will ever match it.
  for (size_t at = spec.find('/'); at != std::string::npos; at = spec.find('/', at + 1)) {
    if (at + 1 >= spec.size() || !IsAsciiLetter(spec[at + 1])) continue;
    if (at > 0 && spec[at - 1] != ' ') continue;
    const std::string written = spec.substr(at, 2);
    const bool known =
        EqualsNoCase(written, "/n") || EqualsNoCase(written, "/s") || EqualsNoCase(written, "/x");
    // A repeated switch: the first one was taken, this is a later one.
    const size_t first = value.find(written);
    const size_t where =
        known && first != std::string::npos ? value.find(written, first + 1) : first;
    Add(InValue(attribute, value, where == std::string::npos ? 0 : where), true,
        known ? "switch '" + written + "' is given twice; the second stays in the path"
              : "unknown switch '" + written + "' (the collector knows /n, /s and /x:)");
  }
  CheckReferences(attribute, value);
  const bool hasReference = spec.find_first_of("%$[{|") != std::string::npos;
  if (!hasReference && spec.find(':') == std::string::npos &&
      spec.find('\\') == std::string::npos) {
    Add(InValue(attribute, value, 0), false,
        "'" + spec +
            "' has no drive and no folder: every folder of every fixed drive is "
            "searched, slow on a large machine");
  }
}

void Linter::CheckExecute(const ScriptNode& attribute, const std::string& value) {
  const ExecuteValue parsed = ParseExecuteValue(value);
  const bool prefixed = parsed.commandLine != value;
  if (!value.empty() && value[0] == '~' && !prefixed) {
    Add(InValue(attribute, value, 0), true,
        "time limit '~' needs minutes and a blank before the command (e.g. '~10 tool.exe')");
  } else if (prefixed && !AllDigits(parsed.minutesText)) {
    Add(InValue(attribute, value, 0), true,
        "time limit '~" + parsed.minutesText + "' is not a number of minutes");
  } else if (!prefixed) {
    Add(InValue(attribute, value, 0), false,
        "no time limit: the tool gets 5 minutes; write '~MINUTES command' to choose");
  }
  CheckReferences(attribute, value);
}

// A key path names its root in full; a root the collector does not know
// finds nothing, and the run says only that no key matched.
void Linter::CheckRegistry(const ScriptNode& attribute, const std::string& value) {
  std::string root, subkey;
  if (!IsKeyPathSpecification(value)) return;
  if (!SplitKeyPath(value, &root, &subkey)) root = value;
  if (ParseRegistryRoot(root) == RegistryRootNone) {
    Add(InValue(attribute, value, 0), true,
        "unknown registry root '" + root +
            "' (HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
            "HKEY_USERS): the action finds nothing");
  }
}

void Linter::CheckActiveDirectory(const ScriptNode& element) {
  std::vector<ScriptNode> children, inner;
  element.GetChildren(&children);
  for (const ScriptNode& child : children) {
    const std::string name = NameOfNode(child);
    if (EqualsNoCase(name, "DUMP")) {
      ScriptNode value;
      std::string text;
      if (!child.GetAttributeByName("Name", &value)) continue;
      value.GetText(&text);
      const std::string problem = FileNameProblem(text);
      if (!problem.empty()) {
        Add(value, false,
            "DUMP Name '" + text + "' is refused (" + problem + "): the rows go to " +
                kDirectoryDumpDefaultName);
      }
      continue;
    }
    if (!EqualsNoCase(name, "SEARCH")) {
      Add(child, true, "unknown element <" + name + "> in ACTIVE_DIRECTORY is ignored");
      continue;
    }
    bool attrib = false, scope = false;
    child.GetChildren(&inner);
    for (const ScriptNode& part : inner) {
      const std::string partName = NameOfNode(part);
      if (EqualsNoCase(partName, "Attrib")) {
        attrib = true;
      } else if (EqualsNoCase(partName, "Scope")) {
        scope = true;
        ScriptNode value;
        std::string text;
        if (part.GetAttributeByName("Value", &value)) value.GetText(&text);
        if (value.IsNull() || EqualsNoCase(text, "all")) continue;
        Add(value, false, "Scope '" + text + "' is not 'all': the search writes its header only");
      } else {
        Add(part, true, "unknown element <" + partName + "> in SEARCH is ignored");
      }
    }
    if (!attrib) {
      Add(child, true, "SEARCH without Attrib is dropped: it writes nothing");
    } else if (!scope) {
      Add(child, false, "SEARCH without Scope writes its header only and searches nothing");
    }
  }
}

void Linter::CheckEventLogSettings(const ScriptNode& element) {
  for (const Attr& attr : AttributesOf(element)) {
    const char* known = nullptr;
    for (const char* candidate : kEventLogAttributes) {
      if (EqualsNoCase(attr.name, candidate)) known = candidate;
    }
    if (known == nullptr) {
      Add(attr.node, true, "unknown attribute '" + attr.name + "' of EVENT_LOGS is ignored");
    } else if (EndsWithNoCase(attr.name, "_required") && !EqualsNoCase(attr.value, "Yes") &&
               !EqualsNoCase(attr.value, "No")) {
      Add(InValue(attr.node, attr.value, 0), false,
          "'" + attr.value + "' turns the log off: only 'Yes' turns it on");
    } else if (EndsWithNoCase(attr.name, "_Recent_Days") && !AllDigits(attr.value)) {
      Add(InValue(attr.node, attr.value, 0), true,
          "recent days '" + attr.value + "' is not a number of days");
    }
  }
}

// What the run refuses of the signature; nothing when it holds.
void CheckSignature(const std::string& bytes, std::vector<LintFinding>* findings) {
  // As the run reads it: the text ends at the first zero byte.
  std::string text = bytes.substr(0, bytes.find('\0'));
  const uint32_t stored = ReadSignature(text);
  SourcePosition start;
  start.line = start.column = 1;
  if (!StripSignature(&text)) {
    findings->push_back(LintFinding{start, true,
                                    stored == 0 ? "not signed: brindle.exe refuses it "
                                                  "(tovkit sign)"
                                                : "signature damaged: brindle.exe refuses it"});
  } else if (TextCrc(text) != stored) {
    findings->push_back(LintFinding{
        start, true, "stale signature: the file changed after signing; brindle.exe refuses it"});
  }
  KeySignature signature;
  std::string body;
  bool present = false;
  if (!ParseKeySignature(text, &signature, &body, &present) && present) {
    findings->push_back(LintFinding{
        start, true, "key signature line damaged: branded copies refuse it (tovkit sign --key)"});
  }
}

// The reader's own findings: what it drops is an error, what it takes
// otherwise than written a warning.
bool ReaderDrops(const std::string& message) {
  for (const char* drop : {" is dropped: ", " is repeated", "the rest of the file", "reading stops",
                           "no element:", "has no closing quote"}) {
    if (message.find(drop) != std::string::npos) return true;
  }
  return false;
}

// A signed script ends in "</Root_TOKEN>" when its first '>' closes a
// declaration: the reader leaves the root open, which changes nothing.
// The two findings that says are left out.
bool SignedEndTag(const std::string& bytes, const std::string& message) {
  std::string text = bytes.substr(0, bytes.find('\0'));
  if (!StripSignature(&text)) return false;
  const size_t last = bytes.rfind('>', bytes.find('\0'));
  const size_t open = last == std::string::npos ? last : bytes.rfind("</", last);
  if (open == std::string::npos || last - open < 11) return false;
  const std::string name = bytes.substr(open + 2, last - open - 11);
  const std::string tag = bytes.substr(open, last - open + 1);
  return message == "element <" + name + "> is never closed" ||
         message == "end tag " + tag + " does not match the open element <" + name + ">";
}

}  // namespace

std::vector<LintFinding> LintScript(const std::string& bytes, const LintOptions& options) {
  std::vector<LintFinding> findings;
  ScriptDocument document;
  document.LoadFromBytes(bytes);
  for (const ReadProblem& problem : document.problems()) {
    if (SignedEndTag(bytes, problem.message)) continue;
    findings.push_back(
        LintFinding{problem.position, ReaderDrops(problem.message), problem.message});
  }
  if (document.HasRoot()) Linter(&findings).Walk(document.Root());
  if (options.checkSignature) CheckSignature(bytes, &findings);
  std::stable_sort(
      findings.begin(), findings.end(), [](const LintFinding& a, const LintFinding& b) {
        return a.position.line != b.position.line ? a.position.line < b.position.line
                                                  : a.position.column < b.position.column;
      });
  return findings;
}

std::string FormatFinding(const std::string& path, const LintFinding& finding) {
  std::string where = path + ":";
  if (finding.position.line > 0) {
    where +=
        std::to_string(finding.position.line) + ":" + std::to_string(finding.position.column) + ":";
  }
  return where + (finding.error ? " error: " : " warning: ") + finding.message;
}

void WriteFindingsJson(std::ostream& out,
                       const std::vector<std::pair<std::string, LintFinding>>& findings) {
  out << "[";
  const char* separator = "\n";
  for (const auto& item : findings) {
    const LintFinding& f = item.second;
    out << separator << "  {\"file\": " << JsonString(item.first)
        << ", \"line\": " << f.position.line << ", \"column\": " << f.position.column
        << ", \"severity\": \"" << (f.error ? "error" : "warning")
        << "\", \"message\": " << JsonString(f.message) << "}";
    separator = ",\n";
  }
  out << (findings.empty() ? "]\n" : "\n]\n");
}

int Lint(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  LintOptions options;
  std::vector<std::string> paths;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      out << kLintHelp;
      return 0;
    }
    if (arg == "--json") {
      json = true;
    } else if (arg == "--unsigned") {
      options.checkSignature = false;
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "tovkit lint: unknown option '" << arg << "'\n" << kLintHelp;
      return 2;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    err << kLintHelp;
    return 2;
  }
  std::vector<std::pair<std::string, LintFinding>> all;
  std::vector<std::string> holds;  // scripts whose signature holds
  size_t errors = 0, warnings = 0;
  for (const std::string& path : paths) {
    std::string bytes, why;
    if (!ReadInputFile(path, &bytes, &why)) {
      LintFinding unreadable;
      unreadable.message = why;
      all.emplace_back(path, unreadable);
      ++errors;
      continue;
    }
    for (LintFinding& finding : LintScript(bytes, options)) {
      ++(finding.error ? errors : warnings);
      all.emplace_back(path, std::move(finding));
    }
    std::vector<LintFinding> signature;
    CheckSignature(bytes, &signature);
    if (options.checkSignature && signature.empty()) holds.push_back(path);
  }
  if (json) {
    WriteFindingsJson(out, all);
  } else {
    for (const std::string& path : holds) out << path << ": signature holds\n";
    for (const auto& item : all) out << FormatFinding(item.first, item.second) << "\n";
    if (!all.empty()) {
      out << errors << (errors == 1 ? " error, " : " errors, ") << warnings
          << (warnings == 1 ? " warning\n" : " warnings\n");
    }
  }
  return errors == 0 ? 0 : 1;
}

}  // namespace tovkit
