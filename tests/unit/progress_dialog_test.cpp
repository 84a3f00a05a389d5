// The progress dialog under Wine, built from the launcher's real resources: what the template
// holds, and what a user sees once it is created and painted. Needs an X display (the test
// command runs the Win32 tests inside xvfb-run); without one no window can exist and the
// dialog tests skip themselves.
//
// With TOVALIN_DIALOG_SCREENSHOT set to a file name, the dialog at 50 % is also saved there as
// a BMP (tests/win32/make_screenshot turns it into docs/progress-dialog.png). The test command
// runs the dialog tests at 96 and at 144 DPI (Wine's LogPixels), saving both pictures in the
// build tree; TOVALIN_EXPECT_DPI tells the tests which the system must report.
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "launcher/strings.h"
#include "resources/resource.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"
#include "ui/prompt_dialog_win32.h"

namespace {

// The colours of the frame's two edges and of the bar's two parts.
struct Look {
  COLORREF shadow, light, done, remaining;
};
// The launcher's own: grey and white edges, blue done, light grey remaining.
constexpr Look kUsualLook = {0x808080, 0xFFFFFF, 0xFF0000, 0xC0C0C0};

// ---- The resources as compiled ----------------------------------------------------------------

// Reads a dialog template field by field.
struct TemplateReader {
  const uint8_t* at;
  uint16_t Word() {
    uint16_t value;
    std::memcpy(&value, at, 2);
    at += 2;
    return value;
  }
  uint32_t Dword() {
    uint32_t value;
    std::memcpy(&value, at, 4);
    at += 4;
    return value;
  }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  // A name or ordinal field: "#n" for an ordinal, otherwise the text (ASCII only here).
  std::string NameOrOrdinal() {
    uint16_t first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    std::string name;
    for (uint16_t c = first; c != 0; c = Word())
      name += static_cast<char>(c);
    return name;
  }
  void AlignToDword(const uint8_t* base) {
    while ((at - base) % 4 != 0)
      ++at;
  }
};

const uint8_t* Resource(const char* name, LPCSTR type) {
  HRSRC found = FindResourceA(nullptr, name, type);
  if (found == nullptr) return nullptr;
  return static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
}

TEST(LauncherResources, PromptDlgIsAStandardTemplateWithExactlyItsControls) {
  const uint8_t* base = Resource("PromptDlg", RT_DIALOG);
  ASSERT_NE(base, nullptr);
  TemplateReader in{base};
  EXPECT_EQ(in.Dword(), static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME |
                                              DS_SETFONT));  // and so no DLGTEMPLATEEX signature
  EXPECT_EQ(in.Dword(), 0u);                                 // no extended style
  EXPECT_EQ(in.Word(), 3);
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 205);
  EXPECT_EQ(in.Short(), 34);
  EXPECT_EQ(in.NameOrOrdinal(), "");  // no menu
  EXPECT_EQ(in.NameOrOrdinal(), "");  // the standard dialog class
  EXPECT_EQ(in.NameOrOrdinal(), "Initializing...");
  EXPECT_EQ(in.Word(), 8);
  EXPECT_EQ(in.NameOrOrdinal(), "MS Sans Serif");

  const struct Control {
    uint32_t style;
    int16_t x, y, cx, cy;
    uint16_t id;
    const char* window_class;  // the ordinal of a predefined class
    const char* text;
  } controls[] = {
      {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 26, 2, 170, 8, 0xFFFF, "#130",
       "Initializing Tovalin, please wait..."},
      {WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 26, 14, 170, 12,
       IDC_BAR_PLACEHOLDER, "#129", ""},
      {WS_CHILD | WS_VISIBLE | SS_ICON, 4, 5, 18, 20, 0xFFFF, "#130", "INSTALL"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.text);
    in.AlignToDword(base);
    EXPECT_EQ(in.Dword(), c.style);
    EXPECT_EQ(in.Dword(), 0u);
    EXPECT_EQ(in.Short(), c.x);
    EXPECT_EQ(in.Short(), c.y);
    EXPECT_EQ(in.Short(), c.cx);
    EXPECT_EQ(in.Short(), c.cy);
    EXPECT_EQ(in.Word(), c.id);
    EXPECT_EQ(in.NameOrOrdinal(), c.window_class);
    EXPECT_EQ(in.NameOrOrdinal(), c.text);
    EXPECT_EQ(in.Word(), 0);  // no creation data
  }
}

// The width of an icon's own image (its mask), not of the place it is drawn in; 0 for none.
int IconWidth(HICON icon) {
  ICONINFO info = {};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return 0;
  BITMAP mask = {};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  return mask.bmWidth;
}

// The launcher's own icon is one 32-pixel image of 16 colours: each byte of the stub travels in
// every installer. At 144 DPI Windows draws it at 48 pixels, stretched; an installer's own icon
// (build --icon, as the demo's) brings a 48-pixel image.
TEST(LauncherResources, InstallIconIsOne32PixelImageOf16Colours) {
  const uint8_t* group = Resource("INSTALL", RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  TemplateReader in{group};
  EXPECT_EQ(in.Word(), 0);  // reserved
  EXPECT_EQ(in.Word(), 1);  // an icon
  ASSERT_EQ(in.Word(), 1);  // one image
  EXPECT_EQ(in.at[0], 32);
  EXPECT_EQ(in.at[1], 32);
  EXPECT_EQ(in.at[2], 16);
  HICON icon =
      static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), "INSTALL", IMAGE_ICON, 32, 32, 0));
  EXPECT_EQ(IconWidth(icon), 32);
  DestroyIcon(icon);
}

// The manifest says "system DPI aware" and nothing else that would change how Windows treats the
// launcher: no supported Windows versions (GetVersion would change, and with it the engine's
// route) and no execution level (the author's choice).
TEST(LauncherResources, ManifestDeclaresSystemDpiAwarenessAndNothingElse) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                          "WindowsSettings\">true</dpiAware>"),
            std::string::npos)
      << manifest;
  for (const char* absent : {"supportedOS", "compatibility", "trustInfo", "dpiAwareness",
                             "ExecutionLevel", "dependency"}) {
    EXPECT_EQ(manifest.find(absent), std::string::npos) << absent;
  }
}

TEST(LauncherResources, StringTableInUsEnglish) {
  const struct Entry {
    UINT id;
    const char* text;
  } entries[] = {
      {IDS_NOT_FOUND, " was not found. "},
      {IDS_MISSING_OR_CORRUPT, "Installation file is missing or corrupt!"},
      {IDS_WARNING, "Warning"},
      {IDS_ANOTHER_INSTALLER, "Another installer is running. You must finish it first!"},
      {IDS_COPY_FAILED, "Error copy file from '%s' to '%s'"},
      {IDS_ENGINE_DAMAGED, "The installer engine in '%s' is damaged and was not started."},
  // And every text of the list, whole in the launcher's 128-byte buffer.
#define STRING_TABLE_ENTRY(name, id, text) {id, text},
      TOVALIN_LAUNCHER_STRINGS(STRING_TABLE_ENTRY)
#undef STRING_TABLE_ENTRY
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.id);
    char loaded[128] = "";
    EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), e.id, loaded, sizeof loaded), 0);
    EXPECT_STREQ(loaded, e.text);
  }
  // Strings live in blocks of 16 (block 13 holds ids 192 to 207), each block in one language.
  HRSRC block = FindResourceExA(nullptr, RT_STRING, MAKEINTRESOURCEA(IDS_NOT_FOUND / 16 + 1),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  EXPECT_NE(block, nullptr);
}

// ---- The dialog as a user sees it -------------------------------------------------------------

// The pixels of a rectangle of the dialog's client area, copied out in one block transfer.
struct Snapshot {
  int left, top, width, height;
  std::vector<uint32_t> pixels;  // top-down rows of 0x00RRGGBB
  COLORREF At(int x, int y) const {
    uint32_t p = pixels[static_cast<size_t>((y - top) * width + (x - left))];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};

// Copies a rectangle of a device context into a top-down 32-bit DIB section.
std::vector<uint32_t> CopyPixels(HDC source, int left, int top, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(source);
  HGDIOBJ old = SelectObject(memory, section);
  BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                               static_cast<const uint32_t*>(bits) + width * height);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(section);
  return pixels;
}

Snapshot SnapshotOfBar(HWND dialog, const Progress& progress) {
  Snapshot shot;
  shot.left = progress.bar_x;
  shot.top = progress.bar_y;
  shot.width = progress.bar_w + 2;
  shot.height = progress.bar_h + 2;
  HDC dc = GetDC(dialog);
  shot.pixels = CopyPixels(dc, shot.left, shot.top, shot.width, shot.height);
  ReleaseDC(dialog, dc);
  return shot;
}

// Saves the whole dialog window, frame and caption included, as a 24-bit BMP.
void SaveWindowBitmap(HWND window, const char* path) {
  // The caption and border are painted when the frame is asked for; the launcher never needs
  // that, having no message loop, but a picture of the dialog does.
  RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  RECT outline;
  GetWindowRect(window, &outline);
  int width = outline.right - outline.left;
  int height = outline.bottom - outline.top;
  HDC dc = GetWindowDC(window);
  std::vector<uint32_t> pixels = CopyPixels(dc, 0, 0, width, height);
  ReleaseDC(window, dc);
  int row_bytes = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER header = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(row_bytes * height);
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  FILE* out = std::fopen(path, "wb");
  ASSERT_NE(out, nullptr) << path;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&header, sizeof header, 1, out);
  std::vector<uint8_t> row(static_cast<size_t>(row_bytes));
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[static_cast<size_t>(y * width + x)];
      row[static_cast<size_t>(x * 3)] = p & 0xFF;
      row[static_cast<size_t>(x * 3 + 1)] = (p >> 8) & 0xFF;
      row[static_cast<size_t>(x * 3 + 2)] = (p >> 16) & 0xFF;
    }
    std::fwrite(row.data(), row.size(), 1, out);
  }
  std::fclose(out);
}

// The template's first control, the message line: the dialog keeps its children in template
// order.
HWND MessageLine(HWND dialog) {
  return GetWindow(dialog, GW_CHILD);
}

std::string WindowText(HWND window) {
  char text[600] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Another thread that asks a window for an answer, as the system does to decide whether it
// hangs, every 200 ms until told to stop.
struct Probe {
  HWND dialog;
  volatile LONG done;
  int asked;
  int answered;
};

DWORD WINAPI AskUntilDone(void* context) {
  Probe* probe = static_cast<Probe*>(context);
  while (probe->done == 0) {
    DWORD_PTR result = 0;
    ++probe->asked;
    if (SendMessageTimeoutA(probe->dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0) {
      ++probe->answered;
    }
    Sleep(200);
  }
  return 0;
}

class ProgressDialogTest : public testing::Test {
 protected:
  void SetUp() override { ResetProgress(&progress, true); }
  void TearDown() override { DestroyProgressDialog(&progress); }

  // Creates the dialog as the bootstrap sequence does; false (with the test skipped) when no
  // display exists.
  bool Create(const char* message_line_text = "") {
    if (CreateProgressDialog(&progress, GetModuleHandleA(nullptr), message_line_text) != 0) {
      return true;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
      skipped_ = true;
      return false;
    }
    ADD_FAILURE() << "the dialog could not be created on display " << display;
    return false;
  }
  HWND Dialog() const { return static_cast<HWND>(progress.dialog); }

  // Every pixel of the frame and of the inside of the bar at the current percentage.
  void ExpectBar(int percent, const Look& look = kUsualLook) {
    SCOPED_TRACE(testing::Message() << "at " << percent << " %");
    const int x = progress.bar_x;
    const int y = progress.bar_y;
    const int w = progress.bar_w;
    const int h = progress.bar_h;
    const int f = percent * w / 100;
    Snapshot shot = SnapshotOfBar(Dialog(), progress);
    int wrong = 0;
    auto expect = [&](int px, int py, COLORREF colour, const char* part) {
      COLORREF seen = shot.At(px, py);
      if (seen != colour && ++wrong <= 8) {
        ADD_FAILURE() << part << " pixel (" << px - x << ", " << py - y << ") is " << std::hex
                      << seen << ", not " << colour;
      }
    };
    for (int row = 0; row <= h + 1; ++row) {
      expect(x, y + row, look.shadow, "left column");
      expect(x + w + 1, y + row, look.light, "right column");
    }
    for (int column = 1; column <= w; ++column) {
      expect(x + column, y, look.shadow, "top row");
      expect(x + column, y + h + 1, look.light, "bottom row");
    }
    for (int row = 0; row < h; ++row) {
      for (int column = 0; column < w; ++column) {
        expect(x + 1 + column, y + 1 + row, column < f ? look.done : look.remaining, "bar");
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  Progress progress;
  bool skipped_ = false;
};

#define CREATE_OR_SKIP(...)                                               \
  do {                                                                    \
    if (!Create(__VA_ARGS__)) {                                           \
      if (skipped_) GTEST_SKIP() << "no X display: windows cannot exist"; \
      return;                                                             \
    }                                                                     \
  } while (0)

TEST_F(ProgressDialogTest, ShowsTitleAndDefaultMessage) {
  CREATE_OR_SKIP();
  EXPECT_EQ(WindowText(Dialog()), "Initializing...");
  EXPECT_EQ(WindowText(MessageLine(Dialog())), "Initializing Tovalin, please wait...");
  EXPECT_TRUE(IsWindowVisible(Dialog()));
}

TEST_F(ProgressDialogTest, InitIniTextTakesTheMessageLinesPlace) {
  const std::string longest(511, 'm');  // the longest text init.ini gives
  for (const std::string& message : {std::string("Setting up Demo 2.0 & friends..."), longest}) {
    SCOPED_TRACE(message.size());
    CREATE_OR_SKIP(message.c_str());
    EXPECT_EQ(WindowText(MessageLine(Dialog())), message);
    EXPECT_EQ(WindowText(Dialog()), "Initializing...");
    DestroyProgressDialog(&progress);
  }
}

TEST_F(ProgressDialogTest, PlaceholderIsHiddenAndShrunkAndTheBarTakesItsPlace) {
  CREATE_OR_SKIP();
  HWND placeholder = GetDlgItem(Dialog(), IDC_BAR_PLACEHOLDER);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_FALSE(IsWindowVisible(placeholder));
  RECT outline;
  GetWindowRect(placeholder, &outline);
  EXPECT_EQ(outline.right - outline.left, 0);
  EXPECT_EQ(outline.bottom - outline.top, 0);
  // The template's 26, 14 and 170 x 12 dialog units, in pixels of this font; the dialog
  // converts position and size each on its own.
  RECT corner = {26, 14, 0, 0};
  RECT size = {0, 0, 170, 12};
  MapDialogRect(Dialog(), &corner);
  MapDialogRect(Dialog(), &size);
  EXPECT_EQ(progress.bar_x, corner.left);
  EXPECT_EQ(progress.bar_y, corner.top);
  EXPECT_EQ(progress.bar_w, size.right);
  EXPECT_EQ(progress.bar_h, size.bottom);
}

TEST_F(ProgressDialogTest, OpensCentredRoundingDown) {
  CREATE_OR_SKIP();
  const int screen_width = GetSystemMetrics(SM_CXSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYSCREEN);
  RECT outline;
  GetWindowRect(Dialog(), &outline);
  EXPECT_EQ(outline.left, (screen_width - (outline.right - outline.left)) >> 1);
  EXPECT_EQ(outline.top, (screen_height - (outline.bottom - outline.top)) >> 1);

  // Even and odd differences, and a window wider than the screen, where a division would round
  // towards zero instead.
  const struct Size {
    int width, height;
  } sizes[] = {{300, 100}, {301, 101}, {screen_width + 77, 51}};
  for (const Size& s : sizes) {
    SCOPED_TRACE(testing::Message() << s.width << " x " << s.height);
    SetWindowPos(Dialog(), nullptr, 3, 5, s.width, s.height, SWP_NOZORDER);
    CenterWindow(Dialog());
    GetWindowRect(Dialog(), &outline);
    EXPECT_EQ(outline.right - outline.left, s.width);
    EXPECT_EQ(outline.left, (screen_width - s.width) >> 1);
    EXPECT_EQ(outline.top, (screen_height - s.height) >> 1);
  }
  EXPECT_EQ(outline.left, -39);  // (1024 - 1101) / 2 rounded down, on the test's 1024 screen
}

TEST_F(ProgressDialogTest, BarFollowsThePercentageToTheLastPixel) {
  CREATE_OR_SKIP();
  // The dialog's first, full paint, still at 0 %.
  UpdateWindow(Dialog());
  ExpectBar(0);
  for (int percent : {10, 50, 100}) {
    SetProgress(&progress, percent);
    ExpectBar(percent);
    if (percent == 50) {
      const char* screenshot = std::getenv("TOVALIN_DIALOG_SCREENSHOT");
      if (screenshot != nullptr && screenshot[0] != '\0') SaveWindowBitmap(Dialog(), screenshot);
    }
  }
}

// The launcher declares itself aware of the system's DPI (this test program carries the same
// manifest): the dialog is laid out from its dialog units at that DPI, not stretched, and the
// parts must fit.
TEST_F(ProgressDialogTest, EveryPartFitsAtTheSystemDpi) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const char* expected = std::getenv("TOVALIN_EXPECT_DPI");
  if (expected != nullptr) {
    EXPECT_EQ(dpi, std::atoi(expected));
  }
  CREATE_OR_SKIP();
  // As another program would read it; systems older than these calls scale nothing anyway.
  using ContextOfWindow = void*(WINAPI*)(HWND);
  using AwarenessOfContext = int(WINAPI*)(void*);
  HMODULE user = GetModuleHandleA("user32.dll");
  const auto context_of = reinterpret_cast<ContextOfWindow>(
      reinterpret_cast<void (*)()>(GetProcAddress(user, "GetWindowDpiAwarenessContext")));
  const auto awareness_of = reinterpret_cast<AwarenessOfContext>(
      reinterpret_cast<void (*)()>(GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
  if (context_of != nullptr && awareness_of != nullptr) {
    const int awareness = awareness_of(context_of(Dialog()));
    std::printf("the dialog's DPI awareness reads as %d\n", awareness);
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
      // Wine 8 reads every window of every program as per-monitor aware, with a manifest or
      // without, so here it shows only that the dialog is not stretched; the manifest's entry
      // is checked in the resources above.
      EXPECT_NE(awareness, 0);  // DPI_AWARENESS_UNAWARE
    } else {
      EXPECT_EQ(awareness, 1);  // DPI_AWARENESS_SYSTEM_AWARE
    }
  }
  UpdateWindow(Dialog());
  SetProgress(&progress, 50);
  ExpectBar(50);
  RECT client;
  GetClientRect(Dialog(), &client);
  // Each control's place in the dialog's client area.
  const auto place = [this](HWND control) {
    RECT area;
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, Dialog(), reinterpret_cast<POINT*>(&area), 2);
    return area;
  };
  HWND line = MessageLine(Dialog());
  const RECT message = place(line);
  HDC dc = GetDC(line);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(line, WM_GETFONT, 0, 0)));
  const std::string text = WindowText(line);
  SIZE extent;
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(line, dc);
  EXPECT_LE(extent.cx, message.right - message.left) << "the message line cuts its text";
  EXPECT_LE(extent.cy, message.bottom - message.top);
  EXPECT_LE(message.bottom, progress.bar_y) << "the message line overlaps the bar";
  EXPECT_LE(progress.bar_x + progress.bar_w + 2, client.right);
  EXPECT_LE(progress.bar_y + progress.bar_h + 2, client.bottom);
  HWND icon = GetWindow(GetWindow(line, GW_HWNDNEXT), GW_HWNDNEXT);
  ASSERT_EQ(GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK, SS_ICON);
  const RECT picture = place(icon);
  EXPECT_LE(picture.right, message.left) << "the icon overlaps the message line";
  EXPECT_LE(picture.right, progress.bar_x) << "the icon overlaps the bar";
  EXPECT_LE(picture.bottom, client.bottom);
  // The icon is drawn at the system's icon size: 32 at 96 DPI, 48 at 144.
  EXPECT_EQ(picture.right - picture.left, GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0))),
            GetSystemMetrics(SM_CXICON));
}

TEST_F(ProgressDialogTest, ValuesAboveOneHundredDrawAFullBar) {
  CREATE_OR_SKIP();
  UpdateWindow(Dialog());
  SetProgress(&progress, 250);
  EXPECT_EQ(progress.current_percentage, 100);
  ExpectBar(100);
  StepProgress(&progress);
  EXPECT_EQ(progress.current_percentage, 100);
  ExpectBar(100);
}

namespace {

// What an accessibility client reads for a window through oleacc: its role (0 when oleacc gives
// no object or no role) and its value (empty when none).
struct Reading {
  long role = 0;
  std::wstring value;
};
Reading ReadAccessibly(HWND window) {
  using ObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
  HMODULE oleacc = LoadLibraryA("oleacc.dll");
  const auto object_from_window = reinterpret_cast<ObjectFromWindow>(reinterpret_cast<void (*)()>(
      oleacc != nullptr ? GetProcAddress(oleacc, "AccessibleObjectFromWindow") : nullptr));
  const IID accessible_iid = {
      0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  Reading reading;
  IAccessible* accessible = nullptr;
  if (object_from_window == nullptr ||
      FAILED(object_from_window(window, static_cast<DWORD>(OBJID_CLIENT), accessible_iid,
                                reinterpret_cast<void**>(&accessible)))) {
    return reading;
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role;
  VariantInit(&role);
  if (SUCCEEDED(accessible->get_accRole(self, &role)) && role.vt == VT_I4) reading.role = role.lVal;
  BSTR value = nullptr;
  if (SUCCEEDED(accessible->get_accValue(self, &value)) && value != nullptr) {
    reading.value = value;
    SysFreeString(value);
  }
  accessible->Release();
  return reading;
}

}  // namespace

// What assistive technology reads: a progress control whose position is the percentage shown.
// Screen readers know the class and ask it for its position; oleacc must read it as it reads any
// standard progress control, and what it read is printed.
TEST_F(ProgressDialogTest, TheBarIsAProgressControlWhoseValueIsThePercentageShown) {
  CREATE_OR_SKIP();
  HWND bar = GetDlgItem(Dialog(), IDC_BAR);
  ASSERT_NE(bar, nullptr);
  char bar_class[64] = "";
  GetClassNameA(bar, bar_class, sizeof bar_class);
  EXPECT_STREQ(bar_class, PROGRESS_CLASSA);
  EXPECT_TRUE(IsWindowVisible(bar));
  RECT place;
  GetWindowRect(bar, &place);
  MapWindowPoints(nullptr, Dialog(), reinterpret_cast<POINT*>(&place), 2);
  EXPECT_EQ(place.left, progress.bar_x + 1);
  EXPECT_EQ(place.top, progress.bar_y + 1);
  EXPECT_EQ(place.right - place.left, progress.bar_w);
  EXPECT_EQ(place.bottom - place.top, progress.bar_h);

  // A standard progress control beside it, at the same position: what oleacc reads for the bar
  // must be what it reads for that one. Windows reads role "progress bar" and value "N%"; Wine 8
  // reads every progress control as a plain client object without a value.
  HWND standard = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 10, 10, Dialog(), nullptr,
                                  nullptr, nullptr);
  ASSERT_NE(standard, nullptr);
  CoInitialize(nullptr);
  for (int percent : {10, 50}) {
    SCOPED_TRACE(percent);
    SetProgress(&progress, percent);
    ExpectBar(percent);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), percent);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
    SendMessageA(standard, PBM_SETPOS, static_cast<WPARAM>(percent), 0);

    const Reading read = ReadAccessibly(bar);
    const Reading reference = ReadAccessibly(standard);
    std::printf("oleacc reads the bar as role %ld, value \"%ls\"; a standard one as %ld, \"%ls\"\n",
                read.role, read.value.c_str(), reference.role, reference.value.c_str());
    EXPECT_EQ(read.role, reference.role);
    EXPECT_EQ(read.value, reference.value);
    if (reference.role == ROLE_SYSTEM_PROGRESSBAR) {
      EXPECT_EQ(read.value, std::to_wstring(percent) + L"%");
    }
  }
  CoUninitialize();
  DestroyWindow(standard);
}

// With high contrast on, the frame takes the window text colour, the done part the highlight
// colour and the rest the window colour: the user's own choice, whatever it is.
TEST_F(ProgressDialogTest, HighContrastDrawsInTheUsersColours) {
  HIGHCONTRASTA before = {sizeof before, 0, nullptr};
  SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof before, &before, 0);
  HIGHCONTRASTA on = {sizeof on, HCF_HIGHCONTRASTON, nullptr};
  if (!SystemParametersInfoA(SPI_SETHIGHCONTRAST, sizeof on, &on, 0)) {
    GTEST_SKIP() << "the system does not let high contrast be switched on";
  }
  HIGHCONTRASTA now = {sizeof now, 0, nullptr};
  SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof now, &now, 0);
  if ((now.dwFlags & HCF_HIGHCONTRASTON) != 0 && Create()) {
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    const Look users = {text, text, GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_WINDOW)};
    UpdateWindow(Dialog());
    SetProgress(&progress, 50);
    ExpectBar(50, users);
  } else if ((now.dwFlags & HCF_HIGHCONTRASTON) == 0) {
    std::printf("the system takes the high contrast setting but does not keep it\n");
  }
  before.cbSize = sizeof before;
  SystemParametersInfoA(SPI_SETHIGHCONTRAST, sizeof before, &before, 0);
}

// Alt+F4, the system menu's Close, a close message from another program: the dialog stays, and
// the run goes on with it.
TEST_F(ProgressDialogTest, ClosingItNeitherDestroysItNorStopsTheBar) {
  CREATE_OR_SKIP();
  SetProgress(&progress, 10);
  PostMessageA(Dialog(), WM_SYSKEYDOWN, VK_F4, 1 << 29);  // with Alt held
  PostMessageA(Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageA(Dialog(), WM_CLOSE, 0, 0);
  PostMessageA(Dialog(), WM_COMMAND, IDCANCEL, 0);
  // Steps for longer than the dialog waits between looks at its messages.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 300) {
    StepProgress(&progress);
    Sleep(1);
  }
  MSG left;
  EXPECT_FALSE(PeekMessageA(&left, Dialog(), 0, 0, PM_NOREMOVE)) << "not taken: " << left.message;
  EXPECT_TRUE(IsWindow(Dialog()));
  EXPECT_TRUE(IsWindowVisible(Dialog()));
  ExpectBar(100);
}

// Another thread asks the dialog for an answer while the launcher is busy stepping the bar, as
// the system does to decide whether a window hangs: it is answered every time, full bar or not.
TEST_F(ProgressDialogTest, AnswersEveryAskWhileTheStepsGoOn) {
  CREATE_OR_SKIP();
  Probe probe = {Dialog(), 0, 0, 0};
  HANDLE asker = CreateThread(nullptr, 0, AskUntilDone, &probe, 0, nullptr);
  ASSERT_NE(asker, nullptr);
  // Busy, as the unpacker is: a step every few microseconds, never a wait.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 2500) {
    StepProgress(&progress);
    for (volatile int spin = 0; spin < 2000; ++spin) {
    }
  }
  InterlockedExchange(&probe.done, 1);
  // An ask already on its way when the steps end is answered here, as the launcher's next step
  // or the dialog's end would: a thread that waits without taking messages would leave it
  // unanswered for the whole timeout.
  while (MsgWaitForMultipleObjects(1, &asker, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  CloseHandle(asker);
  EXPECT_GE(probe.asked, 5);
  EXPECT_EQ(probe.answered, probe.asked);
}

TEST_F(ProgressDialogTest, QuietModeCreatesNothingAndPaintsNothing) {
  ResetProgress(&progress, false);
  SetProgress(&progress, 10);
  StepProgress(&progress);
  EXPECT_EQ(progress.current_percentage, 0);
  EXPECT_EQ(progress.dialog, nullptr);
}

}  // namespace
