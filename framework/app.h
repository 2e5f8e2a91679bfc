// CWinApp: the program's application object and the global accessors around it.
//
// The program defines exactly one global object of a class derived from CWinApp. The library's
// wWinMain (winmain.cpp, linked only into the program) calls AfxWinMain, which
//   1. registers the common-control classes the program uses and initialises COM,
//   2. calls InitInstance: FALSE ends the program (a dialog-based program runs its main dialog
//      with DoModal inside InitInstance and returns FALSE); TRUE runs the message loop (Run)
//      until WM_QUIT,
//   3. returns ExitInstance's result as the program's exit code.
#pragma once
#include <string>
#include "thread.h"

class CWinApp : public CWinThread {
public:
    // Without a name the application is named by its string resource AFX_IDS_APP_TITLE, or else
    // by the executable's file name.
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;

    LPCWSTR m_pszAppName = nullptr;
    LPCWSTR m_pszExeName = nullptr;     // the executable's name without folder and extension
    LPCWSTR m_pszRegistryKey = nullptr; // set by SetRegistryKey
    LPCWSTR m_pszProfileName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

    BOOL InitInstance() override;
    int ExitInstance() override; // the exit code: WM_QUIT's when Run ended, else 0
    // Message loop until WM_QUIT (each message offered to PreTranslateMessage of its window and
    // parents, temporaries freed when idle), then ExitInstance.
    virtual int Run();
    // Settings go under HKCU\Software\<key>\<application name>.
    void SetRegistryKey(LPCWSTR key);
    // Shows AfxMessageBox's boxes; a program may override it.
    virtual int DoMessageBox(LPCWSTR text, UINT type, UINT helpId);

protected:
    int m_nExitCode = 0;

private:
    std::wstring m_appName, m_exeName, m_registryKey, m_profileName;
};

#define AFX_IDS_APP_TITLE 0xE000

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle(); // the application's module, the executable without one
HINSTANCE AfxGetResourceHandle(); // where dialog templates and strings are loaded from
// The calling thread's main window, else the application's.
CWnd* AfxGetMainWnd();

// A message box owned by this thread's active window (else the main window), captioned with the
// application name. Without an icon in `type`, OK boxes get the exclamation mark and yes/no boxes
// the question mark.
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT idPrompt, UINT type = MB_OK, UINT helpId = (UINT)-1);

// Tests replace the box with a function that answers it. Returns the previous hook.
typedef int (*ZrMessageBoxHook)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
ZrMessageBoxHook ZrSetMessageBoxHook(ZrMessageBoxHook hook);
// A message box with an explicit owner and caption that tests can answer through the same hook.
// The owner asked for goes through the owner picker, and the box comes to the front.
int ZrMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Which window a message box or small dialog is shown over. The program installs its rule (the
// window the user is looking at); without one the window asked for stays. Returns the previous
// picker; null restores the default.
typedef HWND (*ZrOwnerPicker)(HWND requested);
ZrOwnerPicker ZrSetOwnerPicker(ZrOwnerPicker picker);
HWND ZrPickOwner(HWND requested);
// The owner of a dialog run over the window the user is looking at: the window the picker gives,
// else the one asked for.
HWND ZrPickDialogOwner(HWND requested);

// The body of the program's entry point.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR cmdLine, int cmdShow);
