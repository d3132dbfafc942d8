#include "run/local_text.h"

#include <windows.h>

std::string LocalText(const std::string& group, const std::string& name,
                      const std::string& defaultText) {
  char module[256];
  const DWORD length = ::GetModuleFileNameA(nullptr, module, sizeof module);
  // A cut path would name some other file: use the defaults instead.
  const bool whole = length > 0 && length < sizeof module;
  const std::string file = whole ? LocalisationFilePath(std::string(module, length)) : "";
  return LookUpLocalText(::GetSystemDefaultLCID(), group, name, defaultText,
                         [&file](const std::string& section, const std::string& key) {
                           if (file.empty()) return std::string();
                           char value[1024];
                           ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value,
                                                      sizeof value, file.c_str());
                           return std::string(value);
                         });
}
