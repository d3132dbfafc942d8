// Apart from the dump, so that tools reading the dump's rules (tovkit
// lint) do not pull the directory classes in with the system forest.
#include <memory>

#include "collect/active_directory_dump.h"

void ActiveDirectoryAction(ActionRequest& request) {
  ActiveDirectoryDump dump(request.element, request.scriptFolder, request.context);
  std::unique_ptr<DirectoryForest> forest = SystemDirectoryForest();
  if (forest == nullptr) forest = AbsentDirectoryForest();
  dump.Dump(request.tempFolder, *forest);
}
