// A small program laid out as the launcher is (no C runtime, zero-filled data behind the import
// tables), for the test of the step that tightens the launcher's headers.
#include <windows.h>

namespace {
char g_zeros[40000];
}

extern "C" void WINAPI SampleStart() {
  g_zeros[GetTickCount() % sizeof g_zeros] = 1;
  ExitProcess(static_cast<UINT>(g_zeros[3]));
}
