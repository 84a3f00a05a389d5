// The progress dialog's lifetime, as the bootstrap sequence sees it. The Win32 build creates the
// real dialog from the "PromptDlg" template; the host build keeps a stand-in record so that the
// sequence runs unchanged under tests.
#pragma once

// Creates the dialog (no owner window) and keeps its handle in g_progress.dialog. The module
// instance is the launcher's own (an HINSTANCE on Windows). Non-zero when the dialog exists.
int CreateProgressDialog(void* instance);

// Destroys the dialog, if there is one.
void DestroyProgressDialog();
