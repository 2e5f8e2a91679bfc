#include "app.h"

#include <commctrl.h>
#include <objbase.h>
#include <atomic>
#include <vector>

namespace {

CWinApp* g_app = nullptr;
std::atomic<ZrMessageBoxHook> g_messageBoxHook{ nullptr };
std::atomic<ZrOwnerPicker> g_ownerPicker{ nullptr };

std::wstring ExeBaseName()
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n < MAX_PATH ? n : MAX_PATH);
    size_t slash = s.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        s.erase(0, slash + 1);
    size_t dot = s.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0)
        s.erase(dot);
    return s;
}

std::wstring LoadStringResource(UINT id)
{
    const wchar_t* text = nullptr;
    // With a zero buffer length LoadStringW hands out a pointer into the resource itself.
    int n = ::LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? std::wstring(text, (size_t)n) : std::wstring();
}

int ShowMessageBox(LPCWSTR text, LPCWSTR caption, UINT type)
{
    HWND owner = ::GetActiveWindow();
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        if (main && main->m_hWnd && ::IsWindow(main->m_hWnd))
            owner = main->m_hWnd;
    }
    owner = ZrPickOwner(owner);
    type |= MB_SETFOREGROUND;
    if (!(type & MB_ICONMASK)) {
        UINT kind = type & MB_TYPEMASK;
        if (kind == MB_OK || kind == MB_OKCANCEL)
            type |= MB_ICONEXCLAMATION;
        else if (kind == MB_YESNO || kind == MB_YESNOCANCEL)
            type |= MB_ICONQUESTION;
    }
    if (!text)
        text = L"";
    if (ZrMessageBoxHook hook = g_messageBoxHook.load())
        return hook(owner, text, caption, type);
    return ::MessageBoxW(owner, text, caption, type);
}

} // namespace

CWinApp::CWinApp(LPCWSTR appName)
{
    if (!g_app)
        g_app = this;
    m_nThreadID = ::GetCurrentThreadId();
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &m_hThread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    m_hInstance = ::GetModuleHandleW(nullptr);
    m_exeName = ExeBaseName();
    m_pszExeName = m_exeName.c_str();
    if (appName && *appName)
        m_appName = appName;
    else
        m_appName = LoadStringResource(AFX_IDS_APP_TITLE);
    if (m_appName.empty())
        m_appName = m_exeName;
    m_pszAppName = m_appName.c_str();
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

void CWinApp::SetRegistryKey(LPCWSTR key)
{
    m_registryKey = key ? key : L"";
    m_pszRegistryKey = m_registryKey.c_str();
    m_profileName = m_pszAppName ? m_pszAppName : L"";
    m_pszProfileName = m_profileName.c_str();
}

int CWinApp::Run()
{
    bool idle = true;
    MSG msg;
    for (;;) {
        if (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!CWnd::IsHandlingMessage())
                CWnd::DeleteTempMap();
            idle = false;
            continue;
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            m_nExitCode = (int)msg.wParam;
            break;
        }
        if (got == -1) {
            m_nExitCode = -1;
            break;
        }
        if (!CWnd::WalkPreTranslateTree(CWnd::SafeHwnd(m_pMainWnd), &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (msg.message != WM_PAINT && msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE &&
            msg.message != 0x0118)
            idle = true;
    }
    return ExitInstance();
}

int CWinApp::DoMessageBox(LPCWSTR text, UINT type, UINT)
{
    return ShowMessageBox(text, m_pszAppName ? m_pszAppName : L"", type);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

CWnd* AfxGetMainWnd()
{
    CWinThread* t = AfxGetThread();
    if (t && t->GetMainWnd())
        return t->GetMainWnd();
    return g_app ? g_app->GetMainWnd() : nullptr;
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT helpId)
{
    if (g_app)
        return g_app->DoMessageBox(text, type, helpId);
    // No application object (tests, early start-up): captioned with the executable's name.
    return ShowMessageBox(text, ExeBaseName().c_str(), type);
}

int AfxMessageBox(UINT idPrompt, UINT type, UINT helpId)
{
    std::wstring text = LoadStringResource(idPrompt);
    return AfxMessageBox(text.c_str(), type, helpId == (UINT)-1 ? idPrompt : helpId);
}

ZrMessageBoxHook ZrSetMessageBoxHook(ZrMessageBoxHook hook)
{
    return g_messageBoxHook.exchange(hook);
}

ZrOwnerPicker ZrSetOwnerPicker(ZrOwnerPicker picker)
{
    return g_ownerPicker.exchange(picker);
}

HWND ZrPickOwner(HWND requested)
{
    if (ZrOwnerPicker picker = g_ownerPicker.load())
        return picker(requested);
    return requested;
}

HWND ZrPickDialogOwner(HWND requested)
{
    const HWND picked = ZrPickOwner(requested);
    return picked != nullptr ? picked : requested;
}

int ZrMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    owner = ZrPickOwner(owner);
    // A box that opens behind its window leaves that window disabled with nothing to answer.
    type |= MB_SETFOREGROUND;
    if (ZrMessageBoxHook hook = g_messageBoxHook.load())
        return hook(owner, text ? text : L"", caption ? caption : L"", type);
    return ::MessageBoxW(owner, text ? text : L"", caption ? caption : L"", type);
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int cmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance ? instance : ::GetModuleHandleW(nullptr);
    app->m_lpCmdLine = cmdLine;
    app->m_nCmdShow = cmdShow;

    INITCOMMONCONTROLSEX icc = { sizeof(icc),
                                 ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS | ICC_USEREX_CLASSES };
    ::InitCommonControlsEx(&icc);
    HRESULT com = ::CoInitialize(nullptr);

    int code;
    if (!app->InitInstance()) {
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd)
            app->m_pMainWnd->DestroyWindow();
        code = app->ExitInstance();
    } else {
        code = app->Run();
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return code;
}
