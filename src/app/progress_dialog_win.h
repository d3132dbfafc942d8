#pragma once
// The program's only window: a progress bar over two centred lines. It runs
// the counting pass while it initialises, then starts the run thread, which
// ends the program when it is done. Closing it asks the run to stop.

#include <windows.h>

#include "sys/handles_win.h"

class ProgressDialog {
 public:
  ProgressDialog();  // loads the window icon
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Runs the dialog modally; returns when the run thread posted the quit
  // message or the user closed the dialog.
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  BOOL OnInitDialog();
  void OnCancel();
  bool OnPaint();  // true when it painted, false to let the default painting run
  HICON OnQueryDragIcon() const { return icon_; }

  HWND window_ = nullptr;
  HICON icon_ = nullptr;  // shared: the system owns it
  sys::Icon smallIcon_;
  sys::KernelHandle workerThread_;
  bool silent_ = false;
  bool cancelling_ = false;
};
