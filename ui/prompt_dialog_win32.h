// The Win32 progress dialog "PromptDlg": a one-line message, the program's icon and a bar that
// the dialog paints itself in place of a hidden placeholder control.
#pragma once

#include <windows.h>

// The dialog procedure handed to CreateDialogParamA.
INT_PTR CALLBACK PromptDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Moves a window to the middle of the screen, keeping its size.
void CenterWindow(HWND window);

// Answers WM_PAINT: the sunken frame and the two-colour bar.
void PaintProgressBar(HWND dialog);
