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
  virtual std::unique_ptr<DirectoryRows> Search(const std::string& tree,
                                                const std::string& filter,
                                                const std::vector<std::string>& attributes,
                                                long* failure) = 0;
};

// The production forest: trees from the machine's directory system
// information, each searched through the global catalog ("GC://" + tree,
// no server). Windows only.
std::unique_ptr<DirectoryForest> SystemDirectoryForest();

// A forest aimed elsewhere, for tests: the given trees (no system query),
// bound as "LDAP://" + server + "/" + tree (or "GC://" when globalCatalog),
// with the given page size. Windows only.
std::unique_ptr<DirectoryForest> DirectoryForestAt(const std::vector<std::string>& trees,
                                                   const std::string& server,
                                                   bool globalCatalog, long pageSize);

// The dispatcher's ACTIVE_DIRECTORY entry: request.element, scriptFolder
// and tempFolder (the result root); the production forest.
void ActiveDirectoryAction(ActionRequest& request);
