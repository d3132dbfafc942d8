#include "expr/path_resolver.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

#include "run/text.h"

namespace {

const char kProgramFilesReference[] =
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir]";

// A registry value read for a reference must fit this many bytes.
const size_t kRegistryValueBytes = 510;

const uint32_t kRegSz = 1;
const uint32_t kRegExpandSz = 2;
const int32_t kInstallStateLocal = 3;

const char* const kNamedVariables[] = {"PFILES", "SYSVOL", "TOOLDIR", "DATADIR", "ACTNAME"};

bool IsNamedVariable(const std::string& name) {
  for (const char* known : kNamedVariables) {
    if (EqualsNoCase(name, known)) return true;
  }
  return false;
}

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A lone "%" or "$" is plain text to the resolver, as in "100%" or a share
// like "C$"; it counts as an unended reference only when a name follows it
// that looks meant.
bool LooksLikeUnendedName(char open, const std::string& text, size_t at) {
  size_t end = at + 1;
  while (end < text.size() && IsWordChar(text[end])) ++end;
  const std::string name = text.substr(at + 1, end - at - 1);
  if (open == '$') return IsNamedVariable(name);
  return !name.empty();
}

}  // namespace

std::vector<ReferenceProblem> FindReferenceProblems(const std::string& text) {
  std::vector<ReferenceProblem> problems;
  const struct {
    char open, close;
  } kKinds[] = {{'%', '%'}, {'$', '$'}, {'[', ']'}, {'{', '}'}, {'|', '|'}};
  for (const auto& kind : kKinds) {
    for (size_t from = 0;;) {
      const size_t start = text.find(kind.open, from);
      if (start == std::string::npos) break;
      const size_t end = text.find(kind.close, start + 1);
      const std::string opening(1, kind.open);
      if (end == std::string::npos) {
        if ((kind.open != '%' && kind.open != '$') ||
            LooksLikeUnendedName(kind.open, text, start)) {
          problems.push_back({start, "reference '" + text.substr(start, 24) +
                                         "' does not end with '" + std::string(1, kind.close) +
                                         "'"});
        }
        break;
      }
      const std::string inner = text.substr(start + 1, end - start - 1);
      if (inner.empty()) {
        // The resolver looks only at the first opening delimiter of a kind.
        if (text.find(kind.open, end + 1) != std::string::npos) {
          problems.push_back(
              {start, "'" + opening + opening + "' is no reference, and hides every later one"});
        }
        break;
      }
      if (kind.open == '$' && !IsNamedVariable(inner)) {
        problems.push_back({start, "unknown variable '$" + inner + "$'"});
      }
      if (kind.open == '[' &&
          ParseRegistryRoot(inner.substr(0, inner.find('\\'))) == RegistryRootNone) {
        problems.push_back({start, "registry reference '[" + inner +
                                       "]' needs a root such as HKEY_LOCAL_MACHINE"});
      }
      from = end + 1;
    }
  }
  return problems;
}

PathResolver::PathResolver(const PathLookups& lookups) : lookups_(lookups) {
  std::string system;
  lookups_.Environment("WINDIR", &system);
  if (!system.empty() && system.back() == '\\') system.pop_back();
  system += "\\SYSTEM";
  installerAvailable_ =
      lookups_.FileExists(system + "\\MSI.DLL") || lookups_.FileExists(system + "32\\MSI.DLL");
}

void PathResolver::Log(int32_t severity, const std::string& message) {
  if (activityLog_ != nullptr) activityLog_->Write(severity, message);
}

size_t PathResolver::FindDelimiter(char c, size_t from) const {
  for (size_t at = work_.find(c, from); at != std::string::npos; at = work_.find(c, at + 1)) {
    if (!literal_[at]) return at;
  }
  return std::string::npos;
}

bool PathResolver::FindReference(char open, char close, Reference* ref) const {
  // Only the first opening delimiter counts: when it starts no reference,
  // later ones of the same kind are not looked at either. What a reference
  // brought in is never a delimiter: a folder named "Tools [x64]" is a name.
  const size_t start = FindDelimiter(open, 0);
  if (start == std::string::npos) return false;
  const size_t end = FindDelimiter(close, start + 1);
  if (end == std::string::npos || end == start + 1) return false;
  ref->start = start;
  ref->end = end;
  ref->inner = work_.substr(start + 1, end - start - 1);
  return true;
}

void PathResolver::Replace(const Reference& ref, const std::string& value, bool literal) {
  work_.replace(ref.start, ref.end - ref.start + 1, value);
  literal_.erase(literal_.begin() + static_cast<std::ptrdiff_t>(ref.start),
                 literal_.begin() + static_cast<std::ptrdiff_t>(ref.end + 1));
  literal_.insert(literal_.begin() + static_cast<std::ptrdiff_t>(ref.start), value.size(), literal);
}

void PathResolver::Fail(const Reference& ref, const std::string& entry) {
  // The marks keep the failed reference from being found again; its inner
  // text stays what it was.
  const std::vector<bool> inner(literal_.begin() + static_cast<std::ptrdiff_t>(ref.start + 1),
                                literal_.begin() + static_cast<std::ptrdiff_t>(ref.end));
  Replace(ref, "#" + ref.inner + "#", true);
  std::copy(inner.begin(), inner.end(),
            literal_.begin() + static_cast<std::ptrdiff_t>(ref.start + 1));
  resolved_ = false;
  Log(SeverityError, entry);
}

bool PathResolver::SweepEnvironment() {
  Reference ref;
  if (!FindReference('%', '%', &ref)) return false;
  std::string value;
  // The whole value goes in, however long: a cut value would name another
  // path without anyone noticing. The length bound of Resolve still holds.
  if (!lookups_.Environment(ref.inner, &value) || value.empty()) {
    Fail(ref, Format("Cannot find environment variable %s", ref.inner.c_str()));
  } else {
    Replace(ref, value);
  }
  return true;
}

bool PathResolver::SweepNamed() {
  Reference ref;
  if (!FindReference('$', '$', &ref)) return false;
  if (EqualsNoCase(ref.inner, "PFILES")) {
    // Our own reference, not a value: the registry sweep takes it next.
    Replace(ref, kProgramFilesReference, false);
  } else if (EqualsNoCase(ref.inner, "SYSVOL")) {
    const std::string windows = lookups_.WindowsFolder();
    Replace(ref, windows.substr(0, windows.find('\\')));
  } else if (EqualsNoCase(ref.inner, "TOOLDIR")) {
    Replace(ref, toolFolder_);
  } else if (EqualsNoCase(ref.inner, "DATADIR")) {
    Replace(ref, dataFolder_);
  } else if (EqualsNoCase(ref.inner, "ACTNAME")) {
    Replace(ref, actionName_);
  } else {
    Fail(ref, Format("Error resolving variable %s", ref.inner.c_str()));
  }
  return true;
}

bool PathResolver::SweepRegistry() {
  Reference ref;
  if (!FindReference('[', ']', &ref)) return false;
  const std::string failure = Format("Cannot read registry value %s", ref.inner.c_str());
  const size_t rootEnd = ref.inner.find('\\');
  if (rootEnd == std::string::npos) {
    Fail(ref, failure);
    return true;
  }
  const RegistryRoot root = ParseRegistryRoot(ref.inner.substr(0, rootEnd));
  const std::string rest = ref.inner.substr(rootEnd + 1);
  const std::string key = FolderOf(rest);
  const std::string name = NameOf(rest);
  uint32_t type = 0;
  std::string data;
  if (root == RegistryRootNone ||
      !lookups_.RegistryValue(root, key, name, kRegistryValueBytes, &type, &data) ||
      (type != kRegSz && type != kRegExpandSz)) {
    Fail(ref, failure);
    return true;
  }
  // Stored strings need not end in a zero, and may hold one early.
  const size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  Replace(ref, type == kRegExpandSz ? ExpandEnvironmentIn(data) : data);
  return true;
}

std::string PathResolver::ExpandEnvironmentIn(std::string value) {
  // As the environment sweep does, within the value only: the first "%"
  // pairs with the next, and what comes in is not looked at again.
  for (size_t from = 0;;) {
    const size_t start = value.find('%', from);
    if (start == std::string::npos) break;
    const size_t end = value.find('%', start + 1);
    if (end == std::string::npos || end == start + 1) break;
    const std::string name = value.substr(start + 1, end - start - 1);
    std::string found;
    if (!lookups_.Environment(name, &found) || found.empty()) {
      found = "#" + name + "#";
      resolved_ = false;
      Log(SeverityError, Format("Cannot find environment variable %s", name.c_str()));
    }
    value.replace(start, end - start + 1, found);
    from = start + found.size();
  }
  return value;
}

bool PathResolver::SweepComponent() {
  Reference ref;
  if (!FindReference('{', '}', &ref)) return false;
  if (!installerAvailable_) {
    Fail(ref, "Cannot find Microsoft Intaller");
    return true;
  }
  std::string path;
  if (lookups_.LocateComponent("{" + ref.inner + "}", &path) != kInstallStateLocal) {
    Fail(ref, Format("Cannot find component %s", ref.inner.c_str()));
    return true;
  }
  // The folder that holds the key file; a path without one names none.
  const size_t slash = path.rfind('\\');
  if (path.empty() || slash == std::string::npos) {
    Fail(ref, "Missing component path");
    return true;
  }
  Replace(ref, path.substr(0, slash));
  return true;
}

bool PathResolver::SweepIni() {
  Reference ref;
  if (!FindReference('|', '|', &ref)) return false;
  const std::string failure = Format("Cannot read INI value %s", ref.inner.c_str());
  if (nesting_ >= kMaxNesting) {
    Fail(ref, failure);
    return true;
  }
  // The file may itself be written with references: a fresh resolver (no
  // run variables) expands them, reporting to the same log.
  PathResolver nested(lookups_);
  nested.SetActivityLog(activityLog_);
  nested.nesting_ = nesting_ + 1;
  nested.sharedRounds_ = sharedRounds_;
  std::string spec = ref.inner;
  if (!nested.Resolve(
          &spec, std::vector<bool>(literal_.begin() + static_cast<std::ptrdiff_t>(ref.start + 1),
                                   literal_.begin() + static_cast<std::ptrdiff_t>(ref.end)))) {
    Fail(ref, failure);
    return true;
  }
  // Split at the last two colons, so a drive letter's colon stays with the
  // file.
  const size_t keyColon = spec.rfind(':');
  const size_t sectionColon = keyColon == std::string::npos || keyColon == 0
                                  ? std::string::npos
                                  : spec.rfind(':', keyColon - 1);
  if (sectionColon == std::string::npos) {
    Fail(ref, failure);
    return true;
  }
  const std::string value = lookups_.IniValue(
      spec.substr(0, sectionColon), spec.substr(sectionColon + 1, keyColon - sectionColon - 1),
      spec.substr(keyColon + 1));
  if (value.empty()) {
    Fail(ref, failure);
  } else {
    Replace(ref, value);
  }
  return true;
}

bool PathResolver::Resolve(std::string* text) {
  return Resolve(text, std::vector<bool>(text->size(), false));
}

bool PathResolver::Resolve(std::string* text, std::vector<bool> literal) {
  resolved_ = true;
  work_ = *text;
  literal_ = std::move(literal);
  // Nested resolutions draw on the same budget of rounds as their caller.
  int ownRounds = kMaxRounds;
  int* roundsLeft = sharedRounds_ != nullptr ? sharedRounds_ : &ownRounds;
  sharedRounds_ = roundsLeft;
  bool changedAtAll = false;
  for (bool first = true;; first = false) {
    if (!first && (*roundsLeft <= 0 || work_.size() > kMaxLength)) {
      // A value that brings back its own reference would go on for ever.
      *roundsLeft = 0;
      resolved_ = false;
      Log(SeverityError, Format("Path references of %s do not come to an end", text->c_str()));
      break;
    }
    --*roundsLeft;
    bool changed = false;
    changed |= SweepEnvironment();
    changed |= SweepNamed();
    changed |= SweepRegistry();
    changed |= SweepComponent();
    changed |= SweepIni();
    if (!changed) break;
    changedAtAll = true;
  }
  if (roundsLeft == &ownRounds) sharedRounds_ = nullptr;
  if (changedAtAll) {
    *text = work_;
    if (resolved_) {
      Log(SeverityInformation, Format("Path resolved to %s", work_.c_str()));
    } else {
      Log(SeverityError, Format("Unable to resolve path (%s)", work_.c_str()));
    }
  }
  work_.clear();
  literal_.clear();
  return resolved_;
}
