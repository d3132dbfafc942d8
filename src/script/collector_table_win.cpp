#include "collect/external_command.h"
#include "collect/file_collector.h"
#include "collect/file_version_collector.h"
#include "collect/process_list_collector.h"
#include "collect/registry_collector.h"
#include "script/action_dispatcher.h"

namespace {

void CopyFiles(ActionRequest& request) {
  RunFilesAction(request.outputPath, *request.activityLog, request.value, request.tempFolder,
                 request.scriptFolder, request.name);
}

}  // namespace

// One entry per collector; a collector not yet part of the product stays
// empty, so its actions are recognised, weighted and logged only.
CollectorTable StandardCollectors() {
  CollectorTable table;
  table.files = CopyFiles;
  table.registry = RegistryAction;
  table.execute = ExternalCommandAction;
  table.fileVersions = FileVersionsAction;
  table.processList = ProcessListAction;
  return table;
}
