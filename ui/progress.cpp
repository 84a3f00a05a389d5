#include "ui/progress.h"

#include <cstring>

#include "launcher/run_state.h"

ProgressState g_progress;

void ResetProgress() {
  std::memset(&g_progress, 0, sizeof g_progress);
}

void SetProgress(int32_t percent) {
  // Signed on purpose: a milestone below a value the steps already passed changes nothing.
  if (percent <= g_progress.current_percentage) return;
  if (!g_run_state.show_progress) return;
  g_progress.current_percentage = percent;
  RepaintProgressBar();
}

void StepProgress() {
  SetProgress(g_progress.current_percentage + 1);
}

int32_t TakeFillWidth() {
  // Steps may run past 100 on a full bar; the paint is where the value is settled.
  if (g_progress.current_percentage > 100) g_progress.current_percentage = 100;
  return g_progress.current_percentage * g_progress.bar_w / 100;
}
