#include "ui/progress.h"

void ResetProgress(Progress* progress, bool shown) {
  *progress = Progress{shown, nullptr, 0, 0, 0, 0, 0};
}

void SetProgress(Progress* progress, int32_t percent) {
  // Signed on purpose: a milestone below a value the steps already passed changes nothing.
  if (percent <= progress->current_percentage) return;
  if (!progress->shown) return;
  progress->current_percentage = percent;
  RepaintProgressBar(progress);
}

void StepProgress(Progress* progress) {
  SetProgress(progress, progress->current_percentage + 1);
}

int32_t TakeFillWidth(Progress* progress) {
  // Steps may run past 100 on a full bar; the paint is where the value is settled.
  if (progress->current_percentage > 100) progress->current_percentage = 100;
  return progress->current_percentage * progress->bar_w / 100;
}
