#include "run/progress.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "run/progress_channel.h"
#include "run/progress_win.h"
#include "run/run_settings.h"

namespace {

ProgressChannel& Channel() {
  static ProgressChannel channel;
  return channel;
}

// Without a window to wake (none yet, or already gone) the update is
// dropped, so that the next one tries again instead of waiting forever.
void Wake() {
  HWND dialog = static_cast<HWND>(Settings().mainWindow);
  if (!dialog || !::PostMessageA(dialog, kProgressUpdateMessage, 0, 0)) Channel().Take();
}

// Shows a control's new state at once, as a busy run gives the dialog's
// thread few idle moments to paint in.
void RepaintNow(HWND control) {
  ::InvalidateRect(control, nullptr, TRUE);
  ::UpdateWindow(control);
}

void SetText(void* control, const std::string& text) {
  if (HWND window = static_cast<HWND>(control)) {
    ::SetWindowTextA(window, text.c_str());
    RepaintNow(window);
  }
}

}  // namespace

void ReportProgress(const std::string& text, int32_t step) {
  RunSettings& settings = Settings();
  if (settings.stopRequested) return;
  bool wake = false;
  if (step > 0 && settings.progressBar) wake |= Channel().AddSteps(step);
  if (!text.empty() && settings.statusLine) wake |= Channel().SetStatus(text);
  if (wake) Wake();
}

void ReportDetail(const std::string& text) {
  RunSettings& settings = Settings();
  if (settings.stopRequested || !settings.detailLine) return;
  if (Channel().SetDetail(text)) Wake();
}

void ApplyProgressUpdates() {
  const ProgressUpdate update = Channel().Take();
  RunSettings& settings = Settings();
  if (update.steps > 0) {
    if (HWND bar = static_cast<HWND>(settings.progressBar)) {
      const WPARAM step = static_cast<WPARAM>(std::min<int64_t>(update.steps, INT_MAX));
      ::SendMessageA(bar, PBM_SETSTEP, step, 0);
      ::SendMessageA(bar, PBM_STEPIT, 0, 0);
      RepaintNow(bar);
    }
  }
  if (update.hasStatus) SetText(settings.statusLine, update.status);
  if (update.hasDetail) SetText(settings.detailLine, update.detail);
}

void SetProgressRange(HWND bar, int32_t total) {
  ::SendMessageA(bar, PBM_SETRANGE32, 0, std::max<int32_t>(1, total));
  ::SendMessageA(bar, PBM_SETPOS, 0, 0);
}
