#include <windows.h>
// after windows.h
#include <objbase.h>

#include "app/run_driver.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "sys/handles_win.h"

namespace {

class WindowsRun : public RunSystem {
 public:
  std::string ExecutableFolder() override {
    char buffer[256];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    // A cut path is kept as far as the buffer holds it.
    return FolderOf(std::string(buffer, n < sizeof buffer ? n : sizeof buffer - 1));
  }

  std::vector<std::string> FindScripts(const std::string& pattern) override {
    std::vector<std::string> names;
    sys::FileFind find;
    if (!find.First(pattern)) return names;
    do {
      names.push_back(find.name());
    } while (find.Next());
    return names;
  }

  bool EnterApartment() override {
    const HRESULT result = ::CoInitialize(nullptr);
    if (result == S_OK) return true;
    // Already initialised here (S_FALSE): balance the call, run no script.
    if (SUCCEEDED(result)) ::CoUninitialize();
    return false;
  }

  void LeaveApartment() override { ::CoUninitialize(); }

  std::string ReadScript(const std::string& path, std::string* bytes) override {
    return sys::ReadRegularFile(path, bytes);
  }

  void ShowMessage(const std::string& text, const std::string& title) override {
    ::MessageBoxA(static_cast<HWND>(Settings().mainWindow), text.c_str(), title.c_str(), MB_OK);
  }
};

}  // namespace

RunSystem& SystemRun() {
  static WindowsRun run;
  return run;
}
