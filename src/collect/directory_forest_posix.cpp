#include "collect/active_directory_dump.h"

// No directory client outside Windows.

std::unique_ptr<DirectoryForest> SystemDirectoryForest() { return AbsentDirectoryForest(); }

std::unique_ptr<DirectoryForest> DirectoryForestAt(const std::vector<std::string>&,
                                                   const std::string&, bool, long) {
  return AbsentDirectoryForest();
}
