#include <windows.h>

#include "expr/path_resolver.h"
#include "expr/registry_root_win.h"
#include "sys/handles_win.h"

namespace {

// msi.dll is not imported: the program must start where Windows Installer
// is missing, so the function is looked up when first needed.
using MsiLocateComponentFn = INT(WINAPI*)(LPCSTR, LPSTR, DWORD*);

class WindowsLookups : public PathLookups {
 public:
  bool Environment(const std::string& name, std::string* value) const override {
    value->clear();
    // Grows once the call has told how much it needs; the value may change
    // in between, hence the few rounds.
    std::string buffer(256, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
      const DWORD n =
          ::GetEnvironmentVariableA(name.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
      if (n == 0) return false;  // missing, or empty: neither counts
      if (n < buffer.size()) {
        buffer.resize(n);
        *value = buffer;
        return true;
      }
      buffer.assign(n, '\0');
    }
    return false;
  }

  bool FileExists(const std::string& path) const override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  std::string WindowsFolder() const override {
    char buffer[MAX_PATH + 1] = {};
    const UINT n = ::GetWindowsDirectoryA(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
  }

  bool RegistryValue(RegistryRoot root, const std::string& key, const std::string& valueName,
                     size_t maxBytes, uint32_t* type, std::string* data) const override {
    sys::RegKey opened;
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(RegistryRootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &handle) !=
        ERROR_SUCCESS) {
      return false;
    }
    opened.Attach(handle);
    std::string buffer(maxBytes, '\0');
    DWORD size = static_cast<DWORD>(maxBytes);
    DWORD valueType = 0;
    if (::RegQueryValueExA(opened.get(), valueName.c_str(), nullptr, &valueType,
                           reinterpret_cast<BYTE*>(&buffer[0]), &size) != ERROR_SUCCESS) {
      return false;
    }
    buffer.resize(size);
    *type = valueType;
    *data = buffer;
    return true;
  }

  int32_t LocateComponent(const std::string& bracedCode, std::string* path) const override {
    path->clear();
    sys::Module msi(::LoadLibraryA("Msi.dll"));
    if (!msi) return -1;
    const auto locate = reinterpret_cast<MsiLocateComponentFn>(
        reinterpret_cast<void*>(::GetProcAddress(msi.get(), "MsiLocateComponentA")));
    if (locate == nullptr) return -1;
    std::string buffer(1024, '\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    const INT state = locate(bracedCode.c_str(), &buffer[0], &size);
    buffer.resize(size < buffer.size() ? size : buffer.size() - 1);
    const size_t zero = buffer.find('\0');
    if (zero != std::string::npos) buffer.resize(zero);
    *path = buffer;
    return state;
  }

  std::string IniValue(const std::string& file, const std::string& section,
                       const std::string& key) const override {
    char buffer[512] = {};
    const DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer,
                                               sizeof buffer, file.c_str());
    return std::string(buffer, n < sizeof buffer ? n : sizeof buffer - 1);
  }
};

}  // namespace

const PathLookups& SystemPathLookups() {
  static const WindowsLookups lookups;
  return lookups;
}
