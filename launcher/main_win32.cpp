// The Windows GUI entry point of launcher.exe.
#include <windows.h>

#include "launcher/entry.h"
#include "platform/launcher_windows.h"

// Only the registration of this class matters: no window of it is ever created.
LRESULT CALLBACK InstallWndProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

ATOM RegisterInstallClass(HINSTANCE instance) {
  WNDCLASSA window_class;
  ZeroMemory(&window_class, sizeof window_class);
  window_class.style = 0;
  window_class.lpfnWndProc = InstallWndProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszMenuName = "InstallMenu";
  window_class.lpszClassName = "InstallWClass";
  return RegisterClassA(&window_class);
}

namespace {

unsigned RegisterClassThunk(void* instance) {
  return RegisterInstallClass(static_cast<HINSTANCE>(instance));
}

// The run's state: zero-filled static storage, so its large buffers take no room in the file.
RunState g_run;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line, int) {
  return LauncherMain(&g_run, instance, previous_instance, command_line, RegisterClassThunk);
}

// The process starts here, without the C runtime's start-up code: the launcher needs none of
// it (no static constructors, no arguments vector), and leaving it out keeps the stub small.
extern "C" void WINAPI LauncherStartup() {
  // A downloaded setup.exe shares its folder with whatever else was downloaded: DLLs are taken
  // from the system directory only.
  platform::RestrictDllSearchPath();
  const char* command_line = SkipProgramName(GetCommandLineA());
  int exit_code =
      WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(command_line), SW_SHOWDEFAULT);
  platform::EndProcess(static_cast<uint32_t>(exit_code));
}
