// The Win32 progress dialog "PromptDlg": a one-line message, the program's icon and a bar that
// the dialog draws itself, in a frame in place of a hidden placeholder control, over a progress
// control (id IDC_BAR) that tells assistive technology the bar's value.
#pragma once

#include <windows.h>

// The dialog procedure handed to CreateDialogParamA.
INT_PTR CALLBACK PromptDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Moves a window to the middle of the screen, keeping its size.
void CenterWindow(HWND window);

// Answers the dialog's WM_PAINT: the sunken frame around the bar.
void PaintBarFrame(HWND dialog);
