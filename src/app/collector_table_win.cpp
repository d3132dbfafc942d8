#include "app/run_driver.h"
#include "collect/active_directory_dump.h"
#include "collect/event_channel_collector.h"
#include "collect/event_log_collector.h"
#include "collect/external_command.h"
#include "collect/file_collector.h"
#include "collect/file_version_collector.h"
#include "collect/process_list_collector.h"
#include "collect/registry_collector.h"

// One entry per collector; a collector not yet part of the product stays
// empty, so its actions are recognised, weighted and logged only.
CollectorTable StandardCollectors() {
  return CollectorTable{
      FilesAction,             // files
      FileVersionsAction,      // fileVersions
      RegistryAction,          // registry
      ExternalCommandAction,   // execute
      EventLogsAction,         // eventLogs
      ProcessListAction,       // processList
      ActiveDirectoryAction,   // activeDirectory
      EventLogSettingsAction,  // eventLogSettings
      EventChannelsAction,     // eventChannels
  };
}
