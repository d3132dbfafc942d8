#pragma once
// The ACTIVE_DIRECTORY element: directory searches written as rows of a CSV
// file in the script's result folder. The dump itself is portable; it
// reaches the directory through `DirectoryForest`, whose Windows form goes
// through the directory classes (src/adsi/) and whose test forms are fakes
// or a forest aimed at a test server.

#include <memory>
#include <string>
#include <vector>

#include "collect/collector.h"
#include "run/log_file.h"

// One SEARCH element with at least one Attrib child.
struct SearchSpec {
  std::string scope;   // "" when the SEARCH has no Scope child
  std::string filter;  // the SEARCH's Value, without the outer "(&" ")"
  std::vector<std::string> attributes;
};

// One found object: for each requested attribute, in the requested order,
// every value it holds as text (system code page); no values when the
// object lacks the attribute or a value could not be converted.
using DirectoryRow = std::vector<std::vector<std::string>>;

// The rows of one running search.
class DirectoryRows {
 public:
  virtual ~DirectoryRows() = default;
  // The next object. False at the end of the rows or when a read failed
  // (`*failure` then holds the status, else 0).
  virtual bool Next(DirectoryRow* row, long* failure) = 0;
};

class DirectoryForest {
 public:
  virtual ~DirectoryForest() = default;
  // Whether the platform's directory client library can be loaded.
  virtual bool ClientPresent() = 0;
  // The distinguished names of the forest's domain trees, in the order the
  // platform lists them. False (with the status) when they cannot be listed.
  virtual bool TreeNames(std::vector<std::string>* trees, long* failure) = 0;
  // A paged subtree search below `tree` with the filter wrapped as
  // "(&" + filter + ")", returning `attributes`. Null (with the status)
  // when binding or starting the search failed.
  virtual std::unique_ptr<DirectoryRows> Search(const std::string& tree, const std::string& filter,
                                                const std::vector<std::string>& attributes,
                                                long* failure) = 0;
};

// A forest without a directory client: what a machine without one offers.
std::unique_ptr<DirectoryForest> AbsentDirectoryForest();

// The production forest: trees from the machine's directory system
// information, each searched through the global catalog ("GC://" + tree,
// no server). Elsewhere a forest without a directory client.
std::unique_ptr<DirectoryForest> SystemDirectoryForest();

// A forest aimed elsewhere, for tests: the given trees (no system query),
// bound as "LDAP://" + server + "/" + tree (or "GC://" when globalCatalog),
// with the given page size. Elsewhere a forest without a directory client.
std::unique_ptr<DirectoryForest> DirectoryForestAt(const std::vector<std::string>& trees,
                                                   const std::string& server, bool globalCatalog,
                                                   long pageSize);

// The name the output takes when the element names none, or names one that
// is refused.
constexpr char kDirectoryDumpDefaultName[] = "ADS_Info.csv";

// "scope,filter,attr1,attr2...", each field as CsvField writes it.
std::string DirectoryHeaderRow(const SearchSpec& search);

// One field per requested attribute, in the header's order: the values an
// object holds joined by ";", empty when it holds none.
std::string DirectoryRowText(const DirectoryRow& row, size_t attributeCount);

// One ACTIVE_DIRECTORY element: its DUMP and SEARCH children are read at
// construction, `Dump` runs the searches and writes the file.
class ActiveDirectoryDump {
 public:
  // `element` is the ACTIVE_DIRECTORY element (node 0); the output lies in
  // `scriptFolder`.
  ActiveDirectoryDump(const ActionElement& element, const std::string& scriptFolder,
                      const RunContext& context);
  ActiveDirectoryDump(const ActiveDirectoryDump&) = delete;
  ActiveDirectoryDump& operator=(const ActiveDirectoryDump&) = delete;

  // Runs every search over `forest` and names the file to the manifest by
  // its path below `resultRoot`. Writes nothing where the forest has no
  // directory client.
  void Dump(const std::string& resultRoot, DirectoryForest& forest);

  const std::string& fileName() const { return fileName_; }
  const std::string& outputPath() const { return outputPath_; }
  const std::vector<SearchSpec>& searches() const { return searches_; }

 private:
  // The rows of one search in one tree; false once the output cannot be
  // written or the run is to stop.
  bool DumpTree(LogFile& output, const SearchSpec& search, const std::string& tree,
                DirectoryForest& forest, size_t* rows);

  std::string scriptFolder_;
  RunContext context_;
  std::string fileName_ = kDirectoryDumpDefaultName;
  std::string outputPath_;
  std::vector<SearchSpec> searches_;
};

// The dispatcher's ACTIVE_DIRECTORY entry: request.element, scriptFolder
// and tempFolder (the result root); the production forest.
void ActiveDirectoryAction(ActionRequest& request);
