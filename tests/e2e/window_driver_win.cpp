// window_driver: drives brindle.exe's windows from another Wine process, as
// a user would, for the whole-program tests.
//
//   window_driver close TITLE SECONDS    WM_CLOSE, as the caption's close box does, to the
//                                        top-level window of that title once there is one
//   window_driver saveas PATH SECONDS    types PATH into the Save-As dialog and confirms
//   window_driver waitsave SECONDS       exit 0 once the Save-As dialog is open
//   window_driver watch TITLE SECONDS    until the window has come and gone: prints
//                                        "largest_visible=WxH boxes=N"
//   window_driver boxes SECONDS [COUNT]  answers OK on every message box, printing its
//                                        text; stops after COUNT boxes
//
// Exit code 0 on success, 1 when the awaited window never came.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const int kFileNameControl = 0x47c;
const int kMessageBoxText = 0xffff;

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// A dialog holding that control.
bool IsDialogWith(HWND window, int control) {
  return ClassOf(window) == "#32770" && ::GetDlgItem(window, control) != nullptr;
}
bool IsMessageBox(HWND window) { return IsDialogWith(window, kMessageBoxText); }
bool IsFileDialog(HWND window) { return IsDialogWith(window, kFileNameControl); }

bool IsTitled(HWND window, const std::string& title) {
  return TextOf(window) == title && !IsMessageBox(window);
}

template <typename Found>
HWND WaitFor(double seconds, Found found) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < seconds * 1000) {
    for (HWND window : TopLevelWindows()) {
      if (found(window)) return window;
    }
    ::Sleep(20);
  }
  return nullptr;
}

// Types `path` into the Save-As dialog and confirms.
int AnswerSave(const char* path, double seconds) {
  HWND dialog = WaitFor(seconds, IsFileDialog);
  if (!dialog) return 1;
  ::SetWindowTextA(::GetDlgItem(dialog, kFileNameControl), path);
  ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  return 0;
}

int Watch(const std::string& title, double seconds) {
  long largestWidth = 0, largestHeight = 0;
  std::set<HWND> boxes;
  bool present = false;
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < seconds * 1000) {
    bool seen = false;
    for (HWND window : TopLevelWindows()) {
      if (IsMessageBox(window)) {
        boxes.insert(window);
        continue;
      }
      if (TextOf(window) != title) continue;
      seen = true;
      if (!::IsWindowVisible(window)) continue;
      RECT rect;
      ::GetWindowRect(window, &rect);
      if (rect.right - rect.left > largestWidth) largestWidth = rect.right - rect.left;
      if (rect.bottom - rect.top > largestHeight) largestHeight = rect.bottom - rect.top;
    }
    if (!seen && present) break;  // came and went
    present = seen;
    ::Sleep(5);
  }
  std::printf("largest_visible=%ldx%ld boxes=%zu\n", largestWidth, largestHeight, boxes.size());
  return 0;
}

int AnswerBoxes(double seconds, int count) {
  const DWORD start = ::GetTickCount();
  int answered = 0;
  while (::GetTickCount() - start < seconds * 1000 && answered < count) {
    for (HWND window : TopLevelWindows()) {
      if (!IsMessageBox(window) || !::IsWindowVisible(window)) continue;
      std::printf("box: %s: %s\n", TextOf(window).c_str(),
                  TextOf(::GetDlgItem(window, kMessageBoxText)).c_str());
      std::fflush(stdout);
      ::PostMessageA(window, WM_COMMAND, IDOK, 0);
      ++answered;
      ::Sleep(200);
    }
    ::Sleep(50);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const auto seconds = [&](int i) { return argc > i ? std::atof(argv[i]) : 30.0; };
  if (command == "close" && argc > 2) {
    HWND window = WaitFor(seconds(3), [&](HWND w) { return IsTitled(w, argv[2]); });
    return window && ::PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (command == "saveas" && argc > 2) return AnswerSave(argv[2], seconds(3));
  if (command == "waitsave") return WaitFor(seconds(2), IsFileDialog) ? 0 : 1;
  if (command == "watch" && argc > 2) return Watch(argv[2], seconds(3));
  if (command == "boxes") return AnswerBoxes(seconds(2), argc > 3 ? std::atoi(argv[3]) : 1000000);
  std::fprintf(stderr, "usage: see the comment at the top of window_driver_win.cpp\n");
  return 2;
}
