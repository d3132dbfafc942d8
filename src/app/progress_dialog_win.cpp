#include "app/progress_dialog_win.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdint>

#include "app/resource_ids.h"
#include "app/run_driver.h"
#include "app/run_thread_win.h"
#include "run/local_text.h"
#include "run/progress_win.h"
#include "run/run_settings.h"

namespace {

const DWORD kStopWaitMilliseconds = 300000;

// Waits for the thread, but keeps answering messages that other threads
// send to this one: the run thread's Save-As dialog and message boxes are
// owned by the dialog, and enabling or disabling an owner is a sent
// message. Posted messages (input, progress) wait in the queue.
void WaitForThread(HANDLE thread, DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    const DWORD result =
        ::MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds - elapsed, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) return;  // ended, timed out or failed
    MSG message;
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

ProgressDialog::ProgressDialog() {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  icon_ = ::LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAIN_ICON));
  smallIcon_.Attach(static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAIN_ICON),
                                                    IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), 0)));
}

INT_PTR ProgressDialog::DoModal() {
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS_DIALOG),
                           nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ProgressDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<ProgressDialog*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    self->window_ = window;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<ProgressDialog*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return FALSE;
  switch (message) {
    case WM_COMMAND:
      // Escape and the close box arrive as IDCANCEL. Enter (IDOK) does
      // nothing: closing the dialog is the only way to stop a run.
      if (LOWORD(wParam) == IDCANCEL) self->OnCancel();
      return TRUE;
    case WM_PAINT:
      return self->OnPaint();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(self->OnQueryDragIcon());
    case kProgressUpdateMessage:
      ApplyProgressUpdates();
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL ProgressDialog::OnInitDialog() {
  RunSettings& settings = Settings();
  ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageA(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(smallIcon_ ? smallIcon_.get() : icon_));
  ::SetWindowTextA(window_, LocalText("Tool", "Title", "Brindle Tool").c_str());

  settings.progressBar = settings.statusLine = settings.detailLine = nullptr;
  HWND bar = ::GetDlgItem(window_, IDC_PROGRESS_BAR);
  settings.progressBar = bar;
  if (bar) {
    int32_t total = 0;
    {
      ScriptRunner counter("*:?*");
      total = counter.Run(RunPassCount);
    }
    SetProgressRange(bar, total);
  }
  HWND status = ::GetDlgItem(window_, IDC_STATUS_LINE);
  settings.statusLine = status;
  if (status) {
    ::SetWindowTextA(status, LocalText("Tool", "WaitMsg", "Waiting for user input...").c_str());
  }
  settings.detailLine = ::GetDlgItem(window_, IDC_DETAIL_LINE);

  settings.stopRequested = false;
  settings.writeFailed = false;
  settings.errorLogged = false;
  settings.mainWindow = window_;

  silent_ = settings.silent && !settings.outFile.empty();
  if (silent_) ::MoveWindow(window_, 0, 0, 1, 1, TRUE);

  const auto userInterfaceThread = static_cast<uintptr_t>(::GetCurrentThreadId());
  workerThread_.Attach(::CreateThread(nullptr, 0, RunThreadProc,
                                      reinterpret_cast<LPVOID>(userInterfaceThread),
                                      CREATE_SUSPENDED, nullptr));
  settings.workerThread = workerThread_.get();
  if (workerThread_) {
    ::ResumeThread(workerThread_.get());
  } else {
    // Without a run thread nobody would ever end the dialog.
    ::PostQuitMessage(0);
  }
  return TRUE;
}

void ProgressDialog::OnCancel() {
  if (cancelling_) return;  // a second close while the first one waits
  cancelling_ = true;
  Settings().stopRequested = true;
  if (workerThread_) WaitForThread(workerThread_.get(), kStopWaitMilliseconds);
  ::EndDialog(window_, IDCANCEL);
}

bool ProgressDialog::OnPaint() {
  if (silent_) {
    ::ShowWindow(window_, SW_HIDE);
    return false;
  }
  ::ShowWindow(window_, SW_SHOW);
  if (!::IsIconic(window_)) return false;
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window_, &paint);
  ::SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(window_, &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, icon_);
  ::EndPaint(window_, &paint);
  return true;
}
