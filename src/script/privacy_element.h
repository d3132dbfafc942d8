#pragma once
// PRIVACY: the script asks for a scrubbed result (Scrub="yes"), names
// words to replace besides the machine's own names (Words="acme;contoso")
// and the binary files it wants unscrubbed rather than left out
// (Keep="*.evtx"). A script can only switch scrubbing on, never off: the
// customer's "/scrub" stands.

#include "run/log_file.h"
#include "script/script_document.h"

void ApplyPrivacyElement(const ScriptNode& element, LogFile* activityLog);
