#include "ui/progress.h"

void ResetProgress(Progress* progress, bool shown) {
  *progress = Progress{shown, nullptr, 0, 0, 0, 0, 0, 0};
}

void SetProgress(Progress* progress, int32_t percent) {
  // Signed on purpose: a milestone below a value the steps already passed changes nothing.
  if (percent <= progress->current_percentage) return;
  if (!progress->shown) return;
  // Every step is a chance to answer the system, also on a full bar, where the steps go on for
  // the rest of the unpack.
  TakeWaitingMessages(progress);
  // The bar is full at 100: a step past it changes nothing on screen, and paints nothing.
  if (percent > 100) percent = 100;
  if (percent == progress->current_percentage) return;
  progress->current_percentage = percent;
  RepaintProgressBar(progress);
}

void StepProgress(Progress* progress) {
  SetProgress(progress, progress->current_percentage + 1);
}

int32_t TakeFillWidth(Progress* progress) {
  // A value set by hand past 100 still draws a full bar, and settles there.
  if (progress->current_percentage > 100) progress->current_percentage = 100;
  return progress->current_percentage * progress->bar_w / 100;
}
