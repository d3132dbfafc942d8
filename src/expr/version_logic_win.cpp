#include <windows.h>

#include "expr/registry_root_win.h"
#include "expr/version_logic.h"
#include "sys/handles_win.h"

namespace {

class WindowsVersionFacts : public VersionSystem {
 public:
  bool ReadVersion(OsVersionInfo* info) const override {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(&version)) return false;
    info->major = version.dwMajorVersion;
    info->minor = version.dwMinorVersion;
    info->build = version.dwBuildNumber;
    info->platformId = version.dwPlatformId;
    version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
    info->servicePackText = version.szCSDVersion;
    return true;
  }

  bool ReadProductType(std::string* type) const override {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                        KEY_READ, &handle) != ERROR_SUCCESS) {
      return false;
    }
    sys::RegKey key(handle);
    char buffer[257] = {};
    DWORD size = 256;
    if (::RegQueryValueExA(key.get(), "ProductType", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
      return false;
    }
    *type = buffer;  // the spare byte keeps it terminated
    return true;
  }

  RegistryProbe ProbeRegistry(RegistryRoot root, const std::string& subkey,
                              const std::string& valueName) const override {
    RegistryProbe probe;
    HKEY handle = nullptr;
    probe.openError =
        static_cast<int32_t>(::RegOpenKeyA(RegistryRootKey(root), subkey.c_str(), &handle));
    if (probe.openError != ERROR_SUCCESS) return probe;
    sys::RegKey key(handle);
    if (valueName.empty()) return probe;
    DWORD type = 0;
    DWORD size = 0;
    probe.queryError = static_cast<int32_t>(
        ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size));
    if (probe.queryError != ERROR_SUCCESS) return probe;
    probe.type = type;
    if (type != REG_DWORD && type != REG_SZ) return probe;
    std::string data(size, '\0');
    probe.readError = static_cast<int32_t>(
        ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.empty() ? nullptr : &data[0]), &size));
    if (probe.readError == ERROR_SUCCESS) {
      data.resize(size < data.size() ? size : data.size());
      probe.data = data;
    }
    return probe;
  }

  bool PathAttributes(const std::string& path, bool* isFolder) const override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    *isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }
};

}  // namespace

const VersionSystem& SystemVersionFacts() {
  static const WindowsVersionFacts facts;
  return facts;
}
