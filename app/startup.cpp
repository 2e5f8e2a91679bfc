#include "app/startup.h"
#include "storage/sector_source.h"

#include <gdiplus.h>
#include <unistd.h>

#include "app/maindlg.h"
#include "app/pure/shell_rules.h"
#include "app/waitdialogs.h"
#include "app/devicetree.h"

CDelvaneApp* g_pApp = nullptr;
CString CommandLineLogPath;
std::atomic<bool> CommandLineLogPending{ false };

SharedGdiObjects SharedGdi;

namespace {

std::atomic<ZrProcessEnder> g_processEnder{ nullptr };
COLORREF WindowTextColor = 0;
COLORREF ButtonTextColor = 0;
COLORREF CaptionTextColor = 0;

COLORREF SwapRedBlue(COLORREF c)
{
    return RGB(GetBValue(c), GetGValue(c), GetRValue(c));
}

void MakeFont(CFont& font, const wchar_t* face, int height, int weight, BYTE underline)
{
    font.CreateFont(height, 0, 0, 0, weight, 0, underline, 0, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, 0x20, face);
}

bool WriteDefaultValue(const wchar_t* keyName, const CString& value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) != ERROR_SUCCESS) {
        AfxMessageBox(L"Could not create or open a registrty key.");
        return false;
    }
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>((const wchar_t*)value),
                     static_cast<DWORD>((value.GetLength() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return true;
}

UINT SplashThreadProc(LPVOID param)
{
    CSplash splash;
    splash.DoModal();
    return 0;
}

} // namespace

void SetCommandLineLogPath(const CString& path)
{
    CommandLineLogPath = path;
    CommandLineLogPending.store(!path.IsEmpty());
}

void ClearCommandLineLogPath()
{
    CommandLineLogPending.store(false);
    CommandLineLogPath.Empty();
}

void CreateSharedGdiObjects()
{
    if (SharedGdi.WhiteBrush.GetSafeHandle())
        return;
    SharedGdi.WhiteBrush.CreateSolidBrush(RGB(255, 255, 255));
    MakeFont(SharedGdi.FontVerdana13Bold, L"Verdana", 13, 700, 0);
    MakeFont(SharedGdi.FontVerdana13BoldUnderline, L"Verdana", 13, 700, 1);
    MakeFont(SharedGdi.FontVerdana13Underline, L"Verdana", 13, 400, 1);
    MakeFont(SharedGdi.FontVerdana13Medium, L"Verdana", 13, 500, 0);
    MakeFont(SharedGdi.FontConsolas16Bold, L"Consolas", 16, 700, 0);
    MakeFont(SharedGdi.FontArial16Bold, L"Arial", 16, 700, 0);
    MakeFont(SharedGdi.FontArial14Bold, L"Arial", 14, 700, 0);
    MakeFont(SharedGdi.FontConsolas22Bold, L"Consolas", 22, 700, 0);
    MakeFont(SharedGdi.FontArial16BoldNotice, L"Arial", 16, 700, 0);
    MakeFont(SharedGdi.FontCalibri36Medium, L"Calibri", 36, 500, 0);
}

int RegisterLogAssociation()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    int written = 0;
    written += WriteDefaultValue(L".QLX", L"Log File");
    written += WriteDefaultValue(L".QLX\\shell\\Open with program\\command\\", BuildLogOpenCommand(path));
    return written;
}

namespace {
ULONG_PTR g_gdiplusToken = 0;
// The system's caption colours, as UpdateCaptionColors read them last.
COLORREF g_captionColorActive = 0;
COLORREF g_captionColorGradient = 0;
} // namespace

bool StartGdiplusOnce()
{
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

ULONG_PTR GdiplusStartupToken()
{
    return g_gdiplusToken;
}

void StartSplashThread()
{
    CWinThread* thread = AfxBeginThread(SplashThreadProc, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!thread)
        return;
    thread->m_bAutoDelete = TRUE;
    thread->ResumeThread();
}

BOOL IsVistaOrLater()
{
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&info))
        return FALSE;
#pragma GCC diagnostic pop
    return info.dwMajorVersion >= 6;
}

HICON LoadIconImage(UINT iconId, int size)
{
    return (HICON)::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, 0);
}

void UpdateWindowTextColor()
{
    WindowTextColor = ::GetSysColor(COLOR_WINDOWTEXT);
    if (g_pApp)
        g_pApp->m_crWindowText = SwapRedBlue(WindowTextColor);
}

void CacheButtonTextColor()
{
    ButtonTextColor = ::GetSysColor(COLOR_BTNTEXT);
    if (g_pApp)
        g_pApp->m_crButtonText = SwapRedBlue(ButtonTextColor);
}

void UpdateCaptionTextColor(int active)
{
    CaptionTextColor = ::GetSysColor(active == 1 ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT);
    if (g_pApp)
        g_pApp->m_crCaptionText = SwapRedBlue(CaptionTextColor);
}

void UpdateCaptionColors()
{
    g_captionColorActive = ::GetSysColor(COLOR_ACTIVECAPTION);
    g_captionColorGradient = ::GetSysColor(COLOR_GRADIENTACTIVECAPTION);
}

void FillGradientRect(HDC dc, const RECT& rect, COLORREF first, COLORREF second, BOOL vertical)
{
    // Band by band rather than GradientFill, which lives in a library the program does not load.
    const int length = vertical == 1 ? rect.bottom - rect.top : rect.right - rect.left;
    if (length <= 0 || rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    for (int i = 0; i < length; ++i) {
        auto mix = [&](int a, int b) { return length == 1 ? a : a + (b - a) * i / (length - 1); };
        COLORREF c = RGB(mix(GetRValue(first), GetRValue(second)), mix(GetGValue(first), GetGValue(second)),
                         mix(GetBValue(first), GetBValue(second)));
        RECT band = vertical == 1 ? RECT{ rect.left, rect.top + i, rect.right, rect.top + i + 1 }
                                  : RECT{ rect.left + i, rect.top, rect.left + i + 1, rect.bottom };
        ::SetBkColor(dc, c);
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &band, nullptr, 0, nullptr);
    }
}

void DrawCaptionGradientFrame(const RECT& outer, const RECT& inner, HDC dc)
{
    FillGradientRect(dc, RECT{ outer.left, outer.top, inner.left, outer.bottom }, g_captionColorGradient,
                     g_captionColorActive, TRUE);
    FillGradientRect(dc, RECT{ inner.right, outer.top, outer.right, outer.bottom }, g_captionColorGradient,
                     g_captionColorActive, TRUE);
    FillGradientRect(dc, RECT{ outer.left, outer.top, outer.right, inner.top }, g_captionColorActive,
                     g_captionColorGradient, TRUE);
    FillGradientRect(dc, RECT{ outer.left, inner.bottom, outer.right, outer.bottom }, g_captionColorActive,
                     g_captionColorGradient, TRUE);
}

ZrProcessEnder ZrSetProcessEnder(ZrProcessEnder ender)
{
    return g_processEnder.exchange(ender);
}

void EndProcessNow(int exitCode)
{
    if (ZrProcessEnder ender = g_processEnder.load()) {
        ender(exitCode);
        return;
    }
    ::_exit(exitCode);
}

CDelvaneApp::CDelvaneApp(SearchWiring wiring) : CWinApp(L"Zembrolix Recovery (Premium)"), m_wiring(wiring) { }

CDelvaneApp::~CDelvaneApp()
{
    m_dwm.Unload();
}

BOOL CDelvaneApp::InitInstance()
{
    g_pApp = this;
    INITCOMMONCONTROLSEX icc = { sizeof(icc), 0xFF };
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();
    CreateSharedGdiObjects();
    SetRegistryKey(L"Local AppWizard-Generated Applications");
    RegisterLogAssociation();
    SetCommandLineLogPath(ParseCommandLineLogPath(m_lpCmdLine ? m_lpCmdLine : L""));
    StartGdiplusOnce();
    if (!CommandLineLogPath.IsEmpty())
        StartSplashThread();
    // The searches: a data file that cannot be opened ends the process there, after its message.
    if (m_wiring != nullptr)
        m_wiring();
    // Partition items of the drive trees and the automatic partition search.
    InstallDriveTreeStorageHost();
    PlatformProbe();

    CDelvaneDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
