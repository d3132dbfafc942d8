#pragma once
// Resource numbers shared by res/brindle.rc and the code. Plain #defines:
// the resource compiler reads this file too.

#define IDD_PROGRESS_DIALOG 102
#define IDR_MAIN_ICON 128
#define IDC_PROGRESS_BAR 1000
#define IDC_STATUS_LINE 1002
#define IDC_DETAIL_LINE 1003
