// The application object. For now it only runs the main dialog from its template; the launcher
// class takes its place later.
#include "afxwin.h"
#include "resource.h"

class CDelvaneApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        CWinApp::InitInstance();
        SetRegistryKey(L"Local AppWizard-Generated Applications");

        CDialog dlg(IDD_MAIN_DIALOG);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;

        // The dialog has closed: end the program rather than start the message loop.
        return FALSE;
    }
};

CDelvaneApp theApp;
