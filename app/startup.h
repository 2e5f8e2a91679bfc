// The application object and what start-up prepares for every dialog: the shared fonts and brush,
// the scan-log association, the command-line log path, GDI+, the splash thread, the colour caches
// and the small drawing routines of the dialogs' background painters.
#pragma once
#include <atomic>

#include "afxwin.h"
#include "look/themeapi.h"

class CDelvaneApp : public CWinApp {
public:
    // What the program's entry wires in at start-up, after the shared fonts and the command line
    // and before the launcher runs: the searches' data files and their RegisterSearchDialog. The
    // launcher names no search itself.
    using SearchWiring = void (*)();
    explicit CDelvaneApp(SearchWiring wiring = nullptr);
    ~CDelvaneApp() override;

    BOOL InitInstance() override;

    // 1: glass frames are drawn on Vista and later; the background painters lower it while
    // desktop composition cannot be enabled.
    int m_nGlass = 1;
    DwmApi m_dwm;
    COLORREF m_crCaptionText = 0; // red and blue swapped, as the glass text drawing wants them
    COLORREF m_crButtonText = 0;
    COLORREF m_crWindowText = 0;

private:
    SearchWiring m_wiring;
};

extern CDelvaneApp* g_pApp;

// The scan log named on the command line; empty when none or after a search started or the log
// was refused. Owned by the user-interface thread; other threads look at CommandLineLogPending.
extern CString CommandLineLogPath;
extern std::atomic<bool> CommandLineLogPending;
void SetCommandLineLogPath(const CString& path);
void ClearCommandLineLogPath();

// The white brush and the ten fonts every dialog draws with, made once at start-up and never
// changed after.
struct SharedGdiObjects {
    CBrush WhiteBrush;
    CFont FontVerdana13Bold;
    CFont FontVerdana13BoldUnderline;
    CFont FontVerdana13Underline;
    CFont FontVerdana13Medium;
    CFont FontConsolas16Bold;
    CFont FontArial16Bold;
    CFont FontArial14Bold;
    CFont FontConsolas22Bold;
    CFont FontArial16BoldNotice;
    CFont FontCalibri36Medium;
};
extern SharedGdiObjects SharedGdi;
// The brush, then the ten fonts; once per process (later calls do nothing).
void CreateSharedGdiObjects();

// Writes the ".QLX" association under HKEY_CLASSES_ROOT: "Log File", and the open command with
// the program's path and the argument quoted. Shows "Could not create or open a registrty key."
// for each key that cannot be written; returns the number of keys written (0 to 2).
int RegisterLogAssociation();

// GDI+ is started once for the process and never shut down by a dialog; later calls return the
// first result.
bool StartGdiplusOnce();
// The token of that start-up (0 before it).
ULONG_PTR GdiplusStartupToken();

// The splash runs modally on a thread of its own; its thread object deletes itself.
void StartSplashThread();

BOOL IsVistaOrLater();
HICON LoadIconImage(UINT iconId, int size);
void UpdateWindowTextColor();
void CacheButtonTextColor();
void UpdateCaptionTextColor(int active);
void UpdateCaptionColors();
void FillGradientRect(HDC dc, const RECT& rect, COLORREF first, COLORREF second, BOOL vertical);
void DrawCaptionGradientFrame(const RECT& outer, const RECT& inner, HDC dc);

// How the process ends at once from the exit paths (no destructors). Tests put a recorder here.
typedef void (*ZrProcessEnder)(int exitCode);
ZrProcessEnder ZrSetProcessEnder(ZrProcessEnder ender);
[[maybe_unused]] void EndProcessNow(int exitCode);
// The exit code when the scan log named on the command line cannot be opened.
constexpr int kExitUnusableLog = 2;
