// The progress dialog's lifetime, as the bootstrap sequence sees it. The Win32 build creates the
// real dialog from the "PromptDlg" template; the host tests link a stand-in that keeps count, so
// that the sequence runs unchanged under them.
#pragma once

#include "ui/progress.h"

// Creates the dialog (no owner window) for progress and keeps its handle there. The module
// instance is the launcher's own (an HINSTANCE on Windows); message_line_text, when not empty,
// replaces the dialog's greeting. Non-zero when the dialog exists.
int CreateProgressDialog(Progress* progress, void* instance, const char* message_line_text);

// Destroys the dialog, if there is one.
void DestroyProgressDialog(Progress* progress);
