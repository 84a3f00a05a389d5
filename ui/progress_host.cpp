// The host build's stand-in for the dialog: it paints nothing but keeps count, so that tests see
// when and with what the bar would be drawn.
#include "ui/progress_host.h"

#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

// A non-null handle for the stand-in dialog; never dereferenced.
int g_stand_in_window;

}  // namespace

HostDialog g_host_dialog;

int CreateProgressDialog(void* instance) {
  (void)instance;
  ++g_host_dialog.created;
  g_progress.dialog = &g_stand_in_window;
  return 1;
}

void DestroyProgressDialog() {
  if (g_progress.dialog == nullptr) return;
  ++g_host_dialog.destroyed;
  g_progress.dialog = nullptr;
}

void RepaintProgressBar() {
  if (g_progress.dialog == nullptr) return;
  ++g_host_dialog.repaints;
  g_host_dialog.last_fill_width = TakeFillWidth();
}
