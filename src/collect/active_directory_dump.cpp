#include "collect/active_directory_dump.h"

#include <cstdint>
#include <utility>

#include "run/file_names.h"
#include "run/text.h"
#include "sys/file_system.h"

namespace {

// Statuses are HRESULTs; "%#x" of the 32 bits, whatever the width of long.
unsigned StatusBits(long status) { return static_cast<uint32_t>(status); }

// msvcrt's printf knows no "%zu".
unsigned long Count(size_t n) { return static_cast<unsigned long>(n); }

bool ScopeIsAll(const SearchSpec& search) { return EqualsNoCase(search.scope, "all"); }

}  // namespace

std::string DirectoryHeaderRow(const SearchSpec& search) {
  std::string row = CsvField(search.scope) + "," + CsvField(search.filter);
  for (const std::string& attribute : search.attributes) row += "," + CsvField(attribute);
  return row;
}

std::string DirectoryRowText(const DirectoryRow& row, size_t attributeCount) {
  std::string text;
  for (size_t i = 0; i < attributeCount; ++i) {
    if (i > 0) text += ',';
    if (i >= row.size()) continue;
    std::string field;
    for (size_t v = 0; v < row[i].size(); ++v) {
      if (v > 0) field += ';';
      field += row[i][v];
    }
    text += CsvField(field);
  }
  return text;
}

ActiveDirectoryDump::ActiveDirectoryDump(const ActionElement& element,
                                         const std::string& scriptFolder, const RunContext& context)
    : scriptFolder_(scriptFolder), context_(context) {
  std::string name = kDirectoryDumpDefaultName;
  const auto children = [&element](size_t node) {
    std::vector<size_t> valid;
    for (const size_t child : element.nodes[node].children) {
      if (child < element.nodes.size()) valid.push_back(child);
    }
    return valid;
  };
  for (const size_t child : element.empty() ? std::vector<size_t>() : children(0)) {
    const std::string& childName = element.nodes[child].name;
    if (EqualsNoCase(childName, "DUMP")) {
      if (!element.Attribute(child, "Name", &name)) name = kDirectoryDumpDefaultName;
    } else if (EqualsNoCase(childName, "SEARCH")) {
      SearchSpec search;
      element.Attribute(child, "Value", &search.filter);
      for (const size_t part : children(child)) {
        const std::string& partName = element.nodes[part].name;
        std::string value;
        if (EqualsNoCase(partName, "Attrib")) {
          if (!element.Attribute(part, "Value", &value)) value = "cn";
          search.attributes.push_back(value);
        } else if (EqualsNoCase(partName, "Scope")) {
          if (!element.Attribute(part, "Value", &value)) value = "all";
          search.scope = value;
        }
      }
      if (!search.attributes.empty()) searches_.push_back(std::move(search));
    }
  }
  const std::string problem = FileNameProblem(name);
  if (!problem.empty()) {
    context_.Log(SeverityWarning, Format("DUMP name %s refused (%s): writing %s instead",
                                         name.c_str(), problem.c_str(), kDirectoryDumpDefaultName));
    name = kDirectoryDumpDefaultName;
  }
  fileName_ = name;
  outputPath_ = JoinPath(scriptFolder_, fileName_);
}

void ActiveDirectoryDump::Dump(const std::string& resultRoot, DirectoryForest& forest) {
  if (!forest.ClientPresent()) {
    // Not a fault of the run: the machine has no directory client to ask.
    context_.Log(SeverityInformation,
                 "No directory client on this machine: ACTIVE_DIRECTORY writes no file");
    return;
  }
  if (searches_.empty()) {
    context_.Log(SeverityInformation,
                 "ACTIVE_DIRECTORY holds no SEARCH with an Attrib: nothing to dump");
    return;
  }
  // An earlier element wrote this name already: appending would leave its
  // manifest row's check value stale.
  if (sys::PathExists(outputPath_)) {
    const std::string free = FreeFileName(fileName_, [this](const std::string& name) {
      return sys::PathExists(JoinPath(scriptFolder_, name));
    });
    context_.Log(SeverityInformation, Format("%s exists already: this dump goes to %s",
                                             outputPath_.c_str(), free.c_str()));
    fileName_ = free;
    outputPath_ = JoinPath(scriptFolder_, fileName_);
  }

  std::vector<std::string> trees;
  bool needTrees = false;
  for (const SearchSpec& search : searches_) needTrees = needTrees || ScopeIsAll(search);
  if (needTrees) {
    long failure = 0;
    if (!forest.TreeNames(&trees, &failure)) {
      trees.clear();
      context_.Log(SeverityWarning,
                   Format("Directory trees cannot be listed (%#x): %s holds header rows only",
                          StatusBits(failure), outputPath_.c_str()));
    } else if (trees.empty()) {
      context_.Log(SeverityWarning, Format("The directory lists no tree: %s holds header rows only",
                                           outputPath_.c_str()));
    }
  }

  LogFile output(outputPath_);
  size_t rows = 0;
  bool complete = true;
  for (const SearchSpec& search : searches_) {
    if (context_.StopRequested() || !output.AppendLine(DirectoryHeaderRow(search))) {
      complete = false;
      break;
    }
    if (!ScopeIsAll(search)) {
      context_.Log(SeverityInformation,
                   Format("SEARCH %s has the scope '%s', not 'all': header row only",
                          search.filter.c_str(), search.scope.c_str()));
      continue;
    }
    for (const std::string& tree : trees) {
      complete = DumpTree(output, search, tree, forest, &rows);
      if (!complete) break;
    }
    if (!complete) break;
  }
  if (complete) {
    // A count, not a verdict: any search that failed has said so above.
    context_.Log(SeverityInformation,
                 Format("Directory dump wrote %lu rows to %s", Count(rows), outputPath_.c_str()));
  } else {
    context_.Log(SeverityWarning,
                 Format("Directory dump stopped before its end: %s is incomplete (%lu rows)",
                        outputPath_.c_str(), Count(rows)));
  }
  context_.AddFile(RelativeToFolder(outputPath_, resultRoot), "");
}

bool ActiveDirectoryDump::DumpTree(LogFile& output, const SearchSpec& search,
                                   const std::string& tree, DirectoryForest& forest, size_t* rows) {
  if (context_.StopRequested()) return false;
  long failure = 0;
  std::unique_ptr<DirectoryRows> found =
      forest.Search(tree, search.filter, search.attributes, &failure);
  if (found == nullptr) {
    context_.Log(SeverityWarning, Format("Directory search %s in %s cannot start (%#x)",
                                         search.filter.c_str(), tree.c_str(), StatusBits(failure)));
    return true;
  }
  // A row is written once the next object has been fetched.
  size_t written = 0;
  DirectoryRow row, next;
  failure = 0;
  bool more = found->Next(&row, &failure);
  while (more) {
    if (context_.StopRequested()) return false;
    failure = 0;
    more = found->Next(&next, &failure);
    if (!output.AppendLine(DirectoryRowText(row, search.attributes.size()))) return false;
    ++written;
    ++*rows;
    row.swap(next);
  }
  if (failure != 0) {
    context_.Log(SeverityWarning,
                 Format("Directory search %s in %s ended on a read failure (%#x) after %lu rows",
                        search.filter.c_str(), tree.c_str(), StatusBits(failure), Count(written)));
  }
  return true;
}

namespace {

class AbsentForest : public DirectoryForest {
 public:
  bool ClientPresent() override { return false; }
  bool TreeNames(std::vector<std::string>* trees, long* failure) override {
    trees->clear();
    *failure = 0;
    return false;
  }
  std::unique_ptr<DirectoryRows> Search(const std::string&, const std::string&,
                                        const std::vector<std::string>&, long* failure) override {
    *failure = 0;
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<DirectoryForest> AbsentDirectoryForest() {
  return std::unique_ptr<DirectoryForest>(new AbsentForest());
}
