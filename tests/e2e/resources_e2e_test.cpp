// The installer's face under Wine. make_branded_installers builds an installer with tovalin.exe,
// the author's icon, version information and a manifest that requires administrator rights;
// here Windows itself reads it back (GetFileVersionInfo and VerQueryValue, the activation
// context's run level, FindResource and LoadString on the installer as a data file), the
// progress dialog is made from its resources and looked at pixel by pixel, the code is mapped at
// another address so that the moved relocations must fit it, and the installer runs end to end.
#include "tests/e2e/launcher_fixture.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "pe_resources/icon_file.h"
#include "resources/strings.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

using e2e::LauncherE2E;
using testing_support::Bytes;
using testing_support::ReadFile;

constexpr COLORREF kGreen = RGB(0x00, 0xA0, 0x00);
constexpr COLORREF kMagenta = RGB(0xFF, 0x00, 0xFF);

std::string Branded(const char* name) {
  return e2e::FromBuildTree(TOVALIN_BRANDED_INSTALLERS) + "\\branded\\" + name;
}

// A module's resource as bytes; empty when it has none of that name.
Bytes ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
  HRSRC found = FindResourceA(module, name, type);
  if (found == nullptr) return Bytes();
  const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  return Bytes(bytes, bytes + SizeofResource(module, found));
}

// Counts the languages a resource comes in, through EnumResourceLanguagesA.
BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

class BrandedE2E : public LauncherE2E {
 protected:
  void SetUp() override {
    LauncherE2E::SetUp();
    setup = Branded("setup.exe");
    module = LoadLibraryExA(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    launcher = LoadLibraryExA(e2e::FromBuildTree(TOVALIN_LAUNCHER).c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << setup;
    ASSERT_NE(launcher, nullptr);
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
    if (launcher != nullptr) FreeLibrary(launcher);
    LauncherE2E::TearDown();
  }

  std::string setup;
  HMODULE module = nullptr;
  HMODULE launcher = nullptr;
};

// The version information of a file, and one value of it as VerQueryValueW gives it.
std::vector<uint8_t> VersionInformation(const std::string& path) {
  DWORD ignored = 0;
  std::vector<uint8_t> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, data.size(), data.data())) data.clear();
  return data;
}

template <typename Value>
const Value* Query(std::vector<uint8_t>& data, const std::wstring& path) {
  void* value = nullptr;
  UINT length = 0;
  return VerQueryValueW(data.data(), path.c_str(), &value, &length) ? static_cast<Value*>(value)
                                                                    : nullptr;
}

TEST_F(BrandedE2E, VerQueryValueReturnsTheGivenStringsAndNumbers) {
  std::vector<uint8_t> version = VersionInformation(setup);
  ASSERT_FALSE(version.empty());
  const struct {
    const wchar_t* key;
    const wchar_t* value;  // nullptr: not there
  } strings[] = {
      {L"ProductName", L"Tovalin Example"},
      {L"ProductVersion", L"2.1"},
      {L"FileVersion", L"2.1.0.7"},
      {L"CompanyName", L"Example Software Ltd."},
      {L"LegalCopyright", L"(C) 2026 Example Software Ltd."},
      {L"FileDescription", L"\u041f\u0440\u0438\u043c\u0435\u0440 Setup"},  // not in code page 1252
      {L"Comments", nullptr},
  };
  for (const auto& s : strings) {
    const wchar_t* value =
        Query<wchar_t>(version, std::wstring(L"\\StringFileInfo\\040904b0\\") + s.key);
    EXPECT_EQ(value == nullptr ? L"<none>" : std::wstring(value),
              s.value == nullptr ? L"<none>" : s.value);
  }
  const auto* fixed = Query<VS_FIXEDFILEINFO>(version, L"\\");
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  const auto* translation = Query<DWORD>(version, L"\\VarFileInfo\\Translation");
  ASSERT_NE(translation, nullptr);
  EXPECT_EQ(*translation, 0x04B00409u);  // US English, UTF-16
  EXPECT_TRUE(VersionInformation(e2e::FromBuildTree(TOVALIN_LAUNCHER)).empty());
}

TEST_F(BrandedE2E, TheManifestsRunLevelReadsBack) {
  const auto run_level = [](const std::string& path,
                            ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION* info) {
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE handle = CreateActCtxA(&context);
    if (handle == INVALID_HANDLE_VALUE) return false;
    SIZE_T written = 0;
    const BOOL ok = QueryActCtxW(0, handle, nullptr, RunlevelInformationInActivationContext, info,
                                 sizeof *info, &written);
    ReleaseActCtx(handle);
    return ok != FALSE;
  };
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info = {};
  ASSERT_TRUE(run_level(setup, &info));
  EXPECT_EQ(info.RunLevel, ACTCTX_RUN_LEVEL_REQUIRE_ADMIN);
  EXPECT_EQ(info.UiAccess, 0u);
  // Without the option the launcher's own manifest requests no level, and Windows decides as
  // for any program.
  ASSERT_TRUE(run_level(e2e::FromBuildTree(TOVALIN_LAUNCHER), &info));
  EXPECT_EQ(info.RunLevel, ACTCTX_RUN_LEVEL_UNSPECIFIED);
  // The level joins the launcher's manifest: one manifest, in one language, still DPI aware.
  const std::string dpi_aware =
      "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>";
  for (HMODULE m : {module, launcher}) {
    const Bytes manifest = ResourceBytes(m, MAKEINTRESOURCEA(1), RT_MANIFEST);
    EXPECT_NE(std::string(manifest.begin(), manifest.end()).find(dpi_aware), std::string::npos);
    int languages = 0;
    EnumResourceLanguagesA(m, RT_MANIFEST, MAKEINTRESOURCEA(1), CountLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, 1);
  }
}

TEST_F(BrandedE2E, TheIconGroupHoldsTheAuthorsImagesAndTheRestStays) {
  const Bytes ico = ReadFile(Branded("author.ico"));
  std::vector<pe::IconImage> images;
  std::string error;
  ASSERT_TRUE(pe::ReadIconFile(ico.data(), ico.size(), &images, &error)) << error;
  Bytes group = ResourceBytes(module, "INSTALL", RT_GROUP_ICON);
  std::vector<pe::IconGroupEntry> entries;
  ASSERT_TRUE(pe::ReadIconGroup(group.data(), group.size(), &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 4u);
  ASSERT_EQ(images.size(), 4u);
  int id_of_32 = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries[i].width, images[i].width);
    EXPECT_EQ(entries[i].bit_count, images[i].bit_count);
    EXPECT_EQ(ResourceBytes(module, MAKEINTRESOURCEA(entries[i].id), RT_ICON), images[i].data);
    if (entries[i].width == 32) id_of_32 = entries[i].id;
  }
  // Windows picks the author's 32 x 32 image where it draws 32 x 32.
  EXPECT_EQ(LookupIconIdFromDirectoryEx(group.data(), TRUE, 32, 32, LR_DEFAULTCOLOR), id_of_32);
  // The dialog and every string are as the launcher has them.
  const Bytes dialog = ResourceBytes(module, "PromptDlg", RT_DIALOG);
  EXPECT_FALSE(dialog.empty());
  EXPECT_EQ(dialog, ResourceBytes(launcher, "PromptDlg", RT_DIALOG));
#define EXPECT_STRING(name, id, text)                                   \
  {                                                                     \
    char loaded[128] = "";                                              \
    EXPECT_GT(LoadStringA(module, id, loaded, sizeof loaded), 0) << id; \
    EXPECT_STREQ(loaded, text);                                         \
  }
  TOVALIN_LAUNCHER_STRINGS(EXPECT_STRING)
#undef EXPECT_STRING
}

TEST_F(BrandedE2E, RelocationsStillFitTheCodeWhereverItIsMapped) {
  // Both want the address the test program holds, so the loader must move them by their
  // relocations; bytes that differ must differ by exactly the distance between the two. Wine
  // moves a library, never a program, so each is loaded from a copy marked as a library.
  const auto load = [this](const std::string& path, const char* name) {
    Bytes image = ReadFile(path);
    const uint32_t header = endian::LoadLittleEndian32(&image[0x3C]);
    image[header + 4 + 18 + 1] |= IMAGE_FILE_DLL >> 8;
    testing_support::WriteFile(dir.Join(name), image);
    return LoadLibraryExA(dir.Join(name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  };
  HMODULE moved = load(setup, "moved.dll");
  HMODULE original = load(e2e::FromBuildTree(TOVALIN_LAUNCHER), "original.dll");
  ASSERT_NE(moved, nullptr);
  ASSERT_NE(original, nullptr);
  const auto* a = reinterpret_cast<const uint8_t*>(moved);
  const auto* b = reinterpret_cast<const uint8_t*>(original);
  ASSERT_NE(a, b);
  const uint32_t distance = static_cast<uint32_t>(a - b);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      b + reinterpret_cast<const IMAGE_DOS_HEADER*>(b)->e_lfanew);
  const uint32_t resources =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  // A patched address starts up to 3 bytes before the first byte that differs: the distance
  // leaves the low bytes alone.
  size_t patched = 0;
  for (uint32_t at = 0x1000, done = 0x1000; at < resources; ++at) {
    if (a[at] == b[at]) continue;
    bool fits = false;
    for (uint32_t site = at >= done + 3 ? at - 3 : done; site <= at && !fits; ++site) {
      uint32_t x;
      uint32_t y;
      std::memcpy(&x, a + site, 4);
      std::memcpy(&y, b + site, 4);
      fits = x - y == distance;
      if (fits) done = at = site + 4;
    }
    ASSERT_TRUE(fits) << "a byte at " << std::hex << at << " differs by no relocation";
    ++patched;
    --at;
  }
  // Every address the relocation table names below the resources was patched: 32-bit code holds
  // hundreds, 64-bit code (addressing relative to itself) only the pointers in its data.
  const IMAGE_DATA_DIRECTORY table =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  size_t relocations = 0;
  for (uint32_t block = table.VirtualAddress, end = block + table.Size; block < end;) {
    const auto* head = reinterpret_cast<const IMAGE_BASE_RELOCATION*>(b + block);
    const auto* entries = reinterpret_cast<const uint16_t*>(head + 1);
    for (size_t i = 0; i < (head->SizeOfBlock - sizeof *head) / 2; ++i) {
      const bool padding = entries[i] >> 12 == IMAGE_REL_BASED_ABSOLUTE;
      if (!padding && head->VirtualAddress + (entries[i] & 0xFFF) < resources) ++relocations;
    }
    block += head->SizeOfBlock;
  }
  EXPECT_GT(relocations, 0u);
  EXPECT_EQ(patched, relocations);
  FreeLibrary(moved);
  FreeLibrary(original);
}

HWND IconControl(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
  }
  return nullptr;
}

TEST_F(BrandedE2E, TheDialogMadeFromTheInstallerShowsTheAuthorsIcon) {
  if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "no X display";
  // The icon control's pixels at its centre and near its corner.
  const auto look = [](HMODULE resources, COLORREF* pixels) {
    Progress progress;
    ResetProgress(&progress, true);
    ASSERT_NE(CreateProgressDialog(&progress, resources, ""), 0);
    HWND dialog = static_cast<HWND>(progress.dialog);
    SetProgress(&progress, 50);
    HWND icon = IconControl(dialog);
    ASSERT_NE(icon, nullptr);
    RECT area;
    GetClientRect(icon, &area);
    HDC dc = GetDC(icon);
    pixels[0] = GetPixel(dc, area.right / 2, area.bottom / 2);
    pixels[1] = GetPixel(dc, 2, 2);
    ReleaseDC(icon, dc);
    DestroyProgressDialog(&progress);
  };
  COLORREF branded[2] = {};
  COLORREF plain[2] = {};
  look(module, branded);
  look(launcher, plain);
  EXPECT_EQ(branded[0], kMagenta);
  EXPECT_EQ(branded[1], kGreen);
  EXPECT_NE(plain[0], kMagenta);
}

TEST_F(BrandedE2E, TheInstallerStillRunsEndToEnd) {
  const std::string copy = dir.Join("setup.exe");
  ASSERT_TRUE(CopyFileA(setup.c_str(), copy.c_str(), FALSE));
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "5");
  e2e::RunResult run = Run(copy);
  EXPECT_EQ(run.exit_code, 5u) << ErrorLog();
  const std::string w = WorkDirectory();
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(testing_support::ListFolder(w),
            (std::vector<std::string>{"dosshell.pif", "init.ini", "~0000.bat", "~0000.exe"}));
  EXPECT_EQ(ReadFile(w + "~0000.exe"), EngineBytes());
  EXPECT_EQ(EngineCommandLine(), w + "~0000.exe " + dir.path() + "\\setup.cfg ");
  EXPECT_EQ(ErrorLog(), "");
  if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0) {
    EXPECT_TRUE(run.dialog_seen);
    EXPECT_EQ(run.dialog_message, "Welcome to the branded installer");
  }
}

}  // namespace
