// The progress dialog on Windows.
//
// The template holds an edit control that only marks where the bar goes. The dialog hides it at
// start, paints a sunken frame around the same rectangle, and puts a progress control inside the
// frame: its position is what screen readers announce as the bar's value, while its pixels are
// ours, the done part blue and the rest light grey, as the launcher has always drawn them. Each
// pixel is painted once per paint, with no background erased first, so the bar does not flicker.
//
// The launcher works on the dialog's own thread. SetProgress paints the bar through UpdateWindow,
// which sends WM_PAINT straight to the windows on the same thread, and every step takes the
// messages that wait meanwhile: covered parts get repainted, and the system never calls the
// dialog hung.
#include "ui/prompt_dialog_win32.h"

#include <commctrl.h>

#include "platform/launcher_windows.h"
#include "resources/resource.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

// The message line has no id of its own: it shares -1 with the icon, and a lookup finds it
// because it is the template's first control. A standard template keeps ids in 16 bits, and
// not every system widens 0xFFFF back to -1, so the 16-bit form is asked for too.
constexpr int kMessageLineId = -1;
constexpr int kMessageLineId16 = 0xFFFF;

// How often at most the steps look for waiting messages, in milliseconds. A step comes every few
// microseconds while the unpacker works; looking each time would cost more than the work on
// systems where the look is expensive, and a window that answers within this time is prompt.
constexpr DWORD kMessageInterval = 40;

// The bar the dialog paints. The launcher shows one dialog at a time, and the dialog procedure
// has no other way to its bar without taking window memory for one pointer.
Progress* g_painted;
// The bar control's own window procedure, which keeps everything but the painting.
WNDPROC g_bar_procedure;

// Fills a rectangle of a device context with one colour: an opaque, empty text output is the
// cheapest solid fill GDI offers, with no brush to create and free.
void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &area, "", 0, nullptr);
}

// The frame's two edges and the bar's two parts: the launcher's own colours, or, for a user who
// needs high contrast, the colours that user chose.
struct BarColours {
  COLORREF shadow;
  COLORREF light;
  COLORREF done;
  COLORREF remaining;
};

// Constant, so that it lives with the read-only data: a writable copy would cost the stub a
// section of its own.
constexpr BarColours kLauncherColours = {0x808080, 0xFFFFFF, 0xFF0000, 0xC0C0C0};

BarColours ChooseBarColours() {
  HIGHCONTRASTA contrast = {sizeof contrast, 0, nullptr};
  if (!SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) ||
      (contrast.dwFlags & HCF_HIGHCONTRASTON) == 0) {
    return kLauncherColours;
  }
  const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  return {text, text, GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_WINDOW)};
}

// The bar control's window procedure: the control keeps its position, its value for assistive
// technology and the rest of its work, but the pixels are the launcher's.
LRESULT CALLBACK BarProcedure(HWND bar, UINT message, WPARAM wparam, LPARAM lparam) {
  // The paint covers every pixel: erasing first would only make it flicker.
  if (message == WM_ERASEBKGND) return TRUE;
  if (message != WM_PAINT) return CallWindowProcA(g_bar_procedure, bar, message, wparam, lparam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  const BarColours colours = ChooseBarColours();
  Progress* painted = g_painted;
  const int done = TakeFillWidth(painted);
  FillSolid(dc, {0, 0, done, painted->bar_h}, colours.done);
  FillSolid(dc, {done, 0, painted->bar_w, painted->bar_h}, colours.remaining);
  EndPaint(bar, &paint);
  return 0;
}

// Takes the placeholder's place as the bar rectangle and gets the placeholder out of sight
// before anything is painted.
void TakeBarRectangle(HWND dialog, Progress* progress) {
  HWND placeholder = GetDlgItem(dialog, IDC_BAR_PLACEHOLDER);
  RECT outline;
  GetWindowRect(placeholder, &outline);
  // Hidden, and moved to the corner at no size, in one call.
  SetWindowPos(placeholder, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOZORDER);
  POINT corner = {outline.left, outline.top};
  ScreenToClient(dialog, &corner);
  progress->bar_x = corner.x;
  progress->bar_y = corner.y;
  progress->bar_w = outline.right - outline.left;
  progress->bar_h = outline.bottom - outline.top;
}

// Puts the bar control inside the frame. The progress class lives in the common controls
// library, which is no known DLL: it is loaded from the system directory, never imported, and
// registers its classes as it loads. Should it be missing, a plain static control takes the
// bar's place, drawn the same, only without a value to read out.
void CreateBar(HWND dialog, const Progress& progress) {
  platform::LoadSystemLibrary("comctl32.dll");
  // Names in place, not pointers to them: a table of pointers would need base relocations.
  static const char kBarClasses[][sizeof PROGRESS_CLASSA] = {PROGRESS_CLASSA, "STATIC"};
  HWND bar = nullptr;
  for (const char* bar_class : kBarClasses) {
    if (bar != nullptr) break;
    bar = CreateWindowExA(0, bar_class, "", WS_CHILD | WS_VISIBLE, progress.bar_x + 1,
                          progress.bar_y + 1, progress.bar_w, progress.bar_h, dialog,
                          reinterpret_cast<HMENU>(IDC_BAR), nullptr, nullptr);
  }
  g_bar_procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProcedure)));
}

HWND MessageLine(HWND dialog) {
  HWND line = GetDlgItem(dialog, kMessageLineId);
  return line != nullptr ? line : GetDlgItem(dialog, kMessageLineId16);
}

void InitializeDialog(HWND dialog, const char* message_line_text) {
  CenterWindow(dialog);
  Progress* painted = g_painted;
  TakeBarRectangle(dialog, painted);
  CreateBar(dialog, *painted);
  if (message_line_text != nullptr && message_line_text[0] != '\0') {
    SetWindowTextA(MessageLine(dialog), message_line_text);
  }
}

}  // namespace

void CenterWindow(HWND window) {
  int screen_width = GetSystemMetrics(SM_CXSCREEN);
  int screen_height = GetSystemMetrics(SM_CYSCREEN);
  RECT outline;
  GetWindowRect(window, &outline);
  // An arithmetic shift rounds towards minus infinity, so an odd difference puts the extra
  // pixel to the right and below, and a window larger than the screen still centres on it.
  int left = (screen_width - (outline.right - outline.left)) >> 1;
  int top = (screen_height - (outline.bottom - outline.top)) >> 1;
  SetWindowPos(window, nullptr, left, top, -1, -1, SWP_NOSIZE | SWP_NOZORDER);
}

void PaintBarFrame(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  const int x = g_painted->bar_x;
  const int y = g_painted->bar_y;
  const int w = g_painted->bar_w;
  const int h = g_painted->bar_h;
  // The frame is the outline from (x, y) to (x + w + 1, y + h + 1): shadow on the left and top,
  // light on the right and bottom, so the bar looks sunk into the dialog. The bottom left corner
  // is the shadow's, the top right one the light's.
  const BarColours colours = ChooseBarColours();
  const RECT edges[] = {{x, y, x + 1, y + h + 2},
                        {x + 1, y, x + w + 1, y + 1},
                        {x + w + 1, y, x + w + 2, y + h + 2},
                        {x + 1, y + h + 1, x + w + 1, y + h + 2}};
  for (int i = 0; i < 4; ++i)
    FillSolid(dc, edges[i], i < 2 ? colours.shadow : colours.light);
  EndPaint(dialog, &paint);
}

INT_PTR CALLBACK PromptDlgProc(HWND dialog, UINT message, WPARAM /*wparam*/, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      // The creation parameter is the message-line text.
      InitializeDialog(dialog, reinterpret_cast<const char*>(lparam));
      return TRUE;
    case WM_PAINT:
      PaintBarFrame(dialog);
      return TRUE;
    case WM_CLOSE:
      // Alt+F4 and the taskbar's Close still reach a dialog without a close box. The dialog goes
      // when the launcher is done with it, not before: closing it ends nothing.
      return TRUE;
    default:
      return FALSE;
  }
}

void RepaintProgressBar(Progress* progress) {
  HWND dialog = static_cast<HWND>(progress->dialog);
  // Without a window there is nothing to paint; a null handle would invalidate every window.
  if (dialog == nullptr) return;
  HWND bar = GetDlgItem(dialog, IDC_BAR);
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(progress->current_percentage), 0);
  InvalidateRect(bar, nullptr, FALSE);
  // The whole pending update of the dialog, the bar's and what was covered before included.
  UpdateWindow(dialog);
}

void TakeWaitingMessages(Progress* progress) {
  if (progress->dialog == nullptr) return;
  const DWORD now = GetTickCount();
  if (now - progress->messages_taken_at < kMessageInterval) return;
  progress->messages_taken_at = now;
  // Bounded in time, so that a flood of input cannot hold the unpack up for long.
  MSG message;
  while (GetTickCount() - now < kMessageInterval / 2 &&
         PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&message);
  }
}

int CreateProgressDialog(Progress* progress, void* instance, const char* message_line_text) {
  g_painted = progress;
  HWND dialog = CreateDialogParamA(static_cast<HINSTANCE>(instance), "PromptDlg", nullptr,
                                   PromptDlgProc, reinterpret_cast<LPARAM>(message_line_text));
  progress->dialog = dialog;
  return dialog != nullptr ? 1 : 0;
}

void DestroyProgressDialog(Progress* progress) {
  HWND dialog = static_cast<HWND>(progress->dialog);
  if (dialog == nullptr) return;
  DestroyWindow(dialog);
  progress->dialog = nullptr;
}
