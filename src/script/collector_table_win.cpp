#include "script/action_dispatcher.h"

// One entry per collector; a collector not yet part of the product stays
// empty, so its actions are recognised, weighted and logged only.
CollectorTable StandardCollectors() {
  CollectorTable table;
  return table;
}
