// The progress state and the two operations the rest of the launcher drives the bar with.
//
// The launcher works on its only thread with the dialog shown: each value that changes the bar
// repaints it before the call returns, and each call takes the messages waiting for the thread,
// so that the system never takes the busy launcher for a hung one. The bar only moves forward,
// and in quiet mode (nothing shown) nothing changes at all.
#pragma once

#include <cstdint>

// One progress bar; the launcher keeps one for its run.
struct Progress {
  // Cleared for quiet mode: there is no dialog, and the operations change nothing.
  bool shown;
  // The dialog's window handle; nullptr while there is no dialog.
  void* dialog;
  // Only ever raised by SetProgress, and never above 100.
  int32_t current_percentage;
  // Where the bar placeholder was, in the dialog's client pixels, border included: the bar's
  // frame starts at bar_x, bar_y and encloses a bar_w x bar_h inside one pixel further in.
  int32_t bar_x;
  int32_t bar_y;
  int32_t bar_w;
  int32_t bar_h;
  // When the waiting messages were last taken (the system's millisecond tick count).
  uint32_t messages_taken_at;
};

// No dialog, 0 %, and shown or (for quiet mode) not.
void ResetProgress(Progress* progress, bool shown);

// Takes percent, up to 100, when it is larger than the current percentage (and progress is
// shown), and repaints the bar before returning when that changed it. A shown bar also takes the
// waiting messages on every call with a larger percent, a full bar's steps included.
void SetProgress(Progress* progress, int32_t percent);

// One step further: SetProgress with the current percentage + 1.
void StepProgress(Progress* progress);

// For the paint: how many of the bar's bar_w columns are done (a percentage above 100 is brought
// back to 100 first, and stored).
int32_t TakeFillWidth(Progress* progress);

// Repaints the inside of the bar's frame now, and tells the bar's readers its new value. The
// Win32 dialog sets its progress control's position and updates the window; the tests' stand-in
// counts the repaints.
void RepaintProgressBar(Progress* progress);

// Takes the messages waiting for the thread, within a short time, while the dialog is shown: it
// is repainted where it was covered, and the system does not call it hung however long the
// unpack takes. The Win32 dialog looks at most every few tens of milliseconds, so that the steps
// cost nothing when nothing waits; the tests' stand-in counts the calls.
void TakeWaitingMessages(Progress* progress);
