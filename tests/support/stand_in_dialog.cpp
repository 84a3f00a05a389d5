#include "tests/support/stand_in_dialog.h"

#include "base/bounded_text.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

// A non-null handle for the stand-in dialog; never dereferenced.
int g_stand_in_window;

}  // namespace

HostDialog g_host_dialog;

int CreateProgressDialog(Progress* progress, void* /*instance*/, const char* message_line_text) {
  ++g_host_dialog.created;
  text::Copy(g_host_dialog.message_line_text, sizeof g_host_dialog.message_line_text,
             message_line_text);
  progress->dialog = &g_stand_in_window;
  return 1;
}

void DestroyProgressDialog(Progress* progress) {
  if (progress->dialog == nullptr) return;
  ++g_host_dialog.destroyed;
  progress->dialog = nullptr;
}

void RepaintProgressBar(Progress* progress) {
  if (progress->dialog == nullptr) return;
  ++g_host_dialog.repaints;
  g_host_dialog.last_fill_width = TakeFillWidth(progress);
}

void TakeWaitingMessages(Progress* progress) {
  if (progress->dialog == nullptr) return;
  ++g_host_dialog.message_checks;
}
