// The progress state and the two operations the rest of the launcher drives the bar with.
//
// There is no message loop anywhere in the launcher: each accepted value repaints the bar
// before the call returns, so the bar moves while the caller keeps working. The bar only moves
// forward, and in quiet mode (nothing shown) nothing changes at all.
#pragma once

#include <cstdint>

// One progress bar; the launcher keeps one for its run.
struct Progress {
  // Cleared for quiet mode: there is no dialog, and the operations change nothing.
  bool shown;
  // The dialog's window handle; nullptr while there is no dialog.
  void* dialog;
  // Only ever raised by SetProgress; a paint brings a value above 100 back to 100.
  int32_t current_percentage;
  // Where the bar placeholder was, in the dialog's client pixels, border included: the bar's
  // frame starts at bar_x, bar_y and encloses a bar_w x bar_h inside one pixel further in.
  int32_t bar_x;
  int32_t bar_y;
  int32_t bar_w;
  int32_t bar_h;
};

// No dialog, 0 %, and shown or (for quiet mode) not.
void ResetProgress(Progress* progress, bool shown);

// Takes percent when it is larger than the current percentage (and progress is shown), and
// repaints the bar before returning.
void SetProgress(Progress* progress, int32_t percent);

// One step further: SetProgress with the current percentage + 1.
void StepProgress(Progress* progress);

// For the paint: brings a percentage above 100 back to 100 (stored) and returns how many of
// the bar's bar_w columns are done.
int32_t TakeFillWidth(Progress* progress);

// Repaints the inside of the bar's frame now. The Win32 dialog invalidates it and updates the
// window; the tests' stand-in counts the repaints.
void RepaintProgressBar(Progress* progress);
