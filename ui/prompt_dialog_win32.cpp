// The progress dialog on Windows.
//
// The bar is not a system progress control: the template holds an edit control that only marks
// where the bar goes. The dialog hides it at start and paints a sunken frame around the same
// rectangle, with the done part blue and the rest light grey. The bar is composed off-screen
// and copied in one block transfer, and updates invalidate only the inside of the frame without
// erasing, so it does not flicker however often the unpacker steps it.
//
// The launcher has no message loop. The dialog paints only when SetProgress calls UpdateWindow,
// which sends WM_PAINT straight to PromptDlgProc on the same thread.
#include "ui/prompt_dialog_win32.h"

#include "resources/resource.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

constexpr COLORREF kFrameShadow = 0x808080;
constexpr COLORREF kBarDone = 0xFF0000;
constexpr COLORREF kBarRemaining = 0xC0C0C0;

// The message line has no id of its own: it shares -1 with the icon, and a lookup finds it
// because it is the template's first control. A standard template keeps ids in 16 bits, and
// not every system widens 0xFFFF back to -1, so the 16-bit form is asked for too.
constexpr int kMessageLineId = -1;
constexpr int kMessageLineId16 = 0xFFFF;

// The bar the dialog paints. The launcher shows one dialog at a time, and the dialog procedure
// has no other way to its bar without taking window memory for one pointer.
Progress* g_painted;

// Fills a rectangle of a device context with one colour: an opaque, empty text output is the
// cheapest solid fill GDI offers, with no brush to create and free.
void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &area, "", 0, nullptr);
}

// Takes the placeholder's place as the bar rectangle and gets the placeholder out of sight
// before anything is painted.
void TakeBarRectangle(HWND dialog, Progress* progress) {
  HWND placeholder = GetDlgItem(dialog, IDC_BAR_PLACEHOLDER);
  RECT outline;
  GetWindowRect(placeholder, &outline);
  ShowWindow(placeholder, SW_HIDE);
  MoveWindow(placeholder, 0, 0, 0, 0, FALSE);
  POINT corner = {outline.left, outline.top};
  ScreenToClient(dialog, &corner);
  progress->bar_x = corner.x;
  progress->bar_y = corner.y;
  progress->bar_w = outline.right - outline.left;
  progress->bar_h = outline.bottom - outline.top;
}

HWND MessageLine(HWND dialog) {
  HWND line = GetDlgItem(dialog, kMessageLineId);
  return line != nullptr ? line : GetDlgItem(dialog, kMessageLineId16);
}

void InitializeDialog(HWND dialog, const char* message_line_text) {
  CenterWindow(dialog);
  TakeBarRectangle(dialog, g_painted);
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

void PaintProgressBar(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  const int x = g_painted->bar_x;
  const int y = g_painted->bar_y;
  const int w = g_painted->bar_w;
  const int h = g_painted->bar_h;

  // The frame is the outline from (x, y) to (x + w + 1, y + h + 1): shadow on the left and top,
  // light on the right and bottom, so the bar looks sunk into the dialog. LineTo leaves out its
  // end point, which is what hands each corner to the right edge.
  HPEN shadow = CreatePen(PS_SOLID, 1, kFrameShadow);
  HGDIOBJ old_pen = SelectObject(dc, shadow);
  MoveToEx(dc, x, y + h + 1, nullptr);
  LineTo(dc, x, y);
  LineTo(dc, x + w + 1, y);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  LineTo(dc, x + w + 1, y + h + 1);
  LineTo(dc, x, y + h + 1);

  HDC composer = CreateCompatibleDC(dc);
  const int done = TakeFillWidth(g_painted);
  // Compatible with the screen's DC: a bitmap made for the fresh memory DC would be monochrome.
  HBITMAP bar = CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ old_bitmap = SelectObject(composer, bar);
  RECT done_part = {0, 0, done, h};
  FillSolid(composer, done_part, kBarDone);
  RECT remaining_part = {done, 0, w, h};
  FillSolid(composer, remaining_part, kBarRemaining);
  BitBlt(dc, x + 1, y + 1, w, h, composer, 0, 0, SRCCOPY);

  SelectObject(composer, old_bitmap);
  DeleteObject(bar);
  SelectObject(dc, old_pen);
  DeleteObject(shadow);
  DeleteDC(composer);
  EndPaint(dialog, &paint);
}

INT_PTR CALLBACK PromptDlgProc(HWND dialog, UINT message, WPARAM /*wparam*/, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      // The creation parameter is the message-line text.
      InitializeDialog(dialog, reinterpret_cast<const char*>(lparam));
      return TRUE;
    case WM_PAINT:
      PaintProgressBar(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

void RepaintProgressBar(Progress* progress) {
  HWND dialog = static_cast<HWND>(progress->dialog);
  // Without a window there is nothing to paint; a null handle would invalidate every window.
  if (dialog == nullptr) return;
  RECT inside = {progress->bar_x + 1, progress->bar_y + 1, progress->bar_x + 1 + progress->bar_w,
                 progress->bar_y + 1 + progress->bar_h};
  InvalidateRect(dialog, &inside, FALSE);
  UpdateWindow(dialog);
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
