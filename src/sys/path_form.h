#pragma once
// Names the system's path parsing would change before a file is opened: a
// trailing dot or space is dropped ("dot." opens "dot"), and a device name
// ("COM1", "nul.txt") opens the device, whatever folder it stands in. Such
// names exist (made by WSL, an SMB client, a "\\?\" path); the run opens
// them in the "\\?\" form, which the system takes as it is written.

#include <string>

namespace sys {

// "con", "PRN.txt", "com1.log ": a name the system takes for a device.
bool IsDeviceName(const std::string& name);

// Whether parsing would change the name: a trailing dot or space, or a
// device name. "." and ".." are no names.
bool NameChangedByParsing(const std::string& name);

// The "\\?\" form of a full path ("\\?\C:\..." or "\\?\UNC\server\..."),
// when some folder or name in it would be changed by parsing. A final name
// with wildcards is a pattern and does not count. "" when the path keeps
// its meaning as it is, or has no verbatim form (relative, "/" in it, "."
// or ".." parts, already in a "\\?\" or "\\.\" form).
std::string VerbatimPath(const std::string& path);

}  // namespace sys
